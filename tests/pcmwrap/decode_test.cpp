// Raw samples to integer values, and where each input's group lands in a frame.
#include "pcmwrap.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct decode_case {
    int bytes;
    std::string raw;
    double value;
};

TEST(pcmwrap_decoder, reads_signed_little_endian_values)
{
    const decode_case cases[] = {
        {1, "\xFF", -1.0},
        {1, "\x80", -128.0},
        {1, "\x7F", 127.0},
        {2, "\xFF\x7F", 32767.0},
        {2, std::string("\x00\x80", 2), -32768.0},
        {2, "\xFE\xFF", -2.0},
        {3, std::string("\x00\x00\x80", 3), -8388608.0},
        {3, "\xFF\xFF\x7F", 8388607.0},
        {3, "\xFE\xFF\xFF", -2.0},
        {3, std::string("\x01\x02\x03", 3), 197121.0},
        {4, std::string("\x00\x00\x00\x80", 4), -2147483648.0},
        {4, "\xFF\xFF\xFF\x7F", 2147483647.0},
        {4, "\xFF\xFF\xFF\xFF", -1.0},
    };
    for (const decode_case& c : cases) {
        int32_t out = 12345;
        raw_decoder_for(c.bytes)(reinterpret_cast<const unsigned char*>(c.raw.data()), &out, 1, 1, 1);
        EXPECT_EQ(out, c.value) << c.bytes << " bytes";
    }
    EXPECT_EQ(raw_decoder_for(0), nullptr);
    EXPECT_EQ(raw_decoder_for(5), nullptr);
}

// Two frames of a 2-channel input placed at slots 1 and 2 of 4-channel
// frames: the other slots stay as they were.
TEST(pcmwrap_decoder, fills_its_group_of_each_frame)
{
    const std::string raw("\x01\x02\x03\x04", 4);
    std::vector<int32_t> frames(8, -9);
    raw_decoder_for(1)(reinterpret_cast<const unsigned char*>(raw.data()), frames.data() + 1, 2, 2, 4);
    EXPECT_EQ(frames, (std::vector<int32_t>{-9, 1, 2, -9, -9, 3, 4, -9}));
}

TEST(pcmwrap_decoder, output_type_follows_width_then_name)
{
    struct type_case {
        int bytes;
        const char* name;
        int type;
    };
    const type_case cases[] = {
        {1, "", AUDIO_AIFF_8},         {2, "", AUDIO_AIFF_16},       {3, "", AUDIO_AIFF_24},
        {4, "", AUDIO_AIFF_32},        {3, "bogus", AUDIO_AIFF_24},  {2, "WAVE", AUDIO_AIFF_16},
        {2, "wave_24", AUDIO_WAVE_24}, {4, "sun", AUDIO_SUN_16},     {1, "spw_d", AUDIO_SPW_D},
    };
    for (const type_case& c : cases)
        EXPECT_EQ(pcmwrap_type(c.bytes, c.name), c.type) << c.bytes << " " << c.name;
}

}  // namespace
