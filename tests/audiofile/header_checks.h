// Expectations on header records that several library tests share.
#pragma once

#include "audiofile.h"

#include <gtest/gtest.h>

// The ILS fields as a new header has them, which the readers also set.
inline void expect_ils_defaults(const audio_header& h)
{
    EXPECT_EQ(h.ils_blocks, 0);
    EXPECT_EQ(h.ils_value35, 0);
    EXPECT_EQ(h.ils_value37, 0);
    EXPECT_EQ(h.ils_marker, -32000);
    EXPECT_EQ(h.ils_word63, 32149);
    EXPECT_EQ(h.ils_word64, 123456);
    EXPECT_EQ(h.ils_byte65, 0);
    EXPECT_EQ(h.ils_half65, 0);
}
