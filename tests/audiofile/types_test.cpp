// The type table, type names, and the two record operations.
#include "audio_helpers.h"
#include "audiofile.h"
#include "header_checks.h"

#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <cstring>
#include <string>

namespace {

TEST(type_bits, every_code_has_its_width)
{
    // Index = code; the family codes 1, 6, 15 and 20 count as 16 bits.
    constexpr int expected[AUDIO_TYPE_COUNT] = {
        16, 16, 8, 16, 24, 32, 16, 8, 16, 24, 32, 16, 64, 32, 64, 16, 8, 16, 24, 32, 16, 8, 16, 24, 32, 32, 64,
    };
    for (int code = 0; code < AUDIO_TYPE_COUNT; ++code)
        EXPECT_EQ(get_type_bits(code), expected[code]) << "code " << code;
}

TEST(type_bits, codes_outside_the_table_have_none)
{
    for (int code : {27, 28, 1000, INT_MAX, -1, -27, INT_MIN})
        EXPECT_EQ(get_type_bits(code), 0) << "code " << code;
}

struct name_case {
    const char* name;
    int deflt;
    int expected;
};

class type_names : public testing::TestWithParam<name_case> {};

std::string case_name(const testing::TestParamInfo<name_case>& info)
{
    std::string name = std::to_string(info.index) + "_";
    for (const char* p = info.param.name; *p != '\0'; ++p)
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return name;
}

TEST_P(type_names, map_to_codes)
{
    const name_case& c = GetParam();
    EXPECT_EQ(get_audio_type(c.name, c.deflt), c.expected) << '"' << c.name << '"';
}

INSTANTIATE_TEST_SUITE_P(
    all_names, type_names,
    testing::Values(name_case{"ils", 17, AUDIO_ILS}, name_case{"ils_f", 17, AUDIO_ILS_F},
                    name_case{"ils_d", 17, AUDIO_ILS_D}, name_case{"aiff", 17, AUDIO_AIFF_16},
                    name_case{"aiff_8", 17, AUDIO_AIFF_8}, name_case{"aiff_16", 17, AUDIO_AIFF_16},
                    name_case{"aiff_24", 17, AUDIO_AIFF_24}, name_case{"aiff_32", 17, AUDIO_AIFF_32},
                    name_case{"aifc", 17, AUDIO_AIFC_16}, name_case{"aifc_8", 17, AUDIO_AIFC_8},
                    name_case{"aifc_16", 17, AUDIO_AIFC_16}, name_case{"aifc_24", 17, AUDIO_AIFC_24},
                    name_case{"aifc_32", 17, AUDIO_AIFC_32}, name_case{"spw", 17, AUDIO_SPW},
                    name_case{"spw_d", 0, AUDIO_SPW_D}, name_case{"wave", 0, AUDIO_WAVE_16},
                    name_case{"wave_8", 0, AUDIO_WAVE_8}, name_case{"wave_16", 0, AUDIO_WAVE_16},
                    name_case{"wave_24", 0, AUDIO_WAVE_24}, name_case{"wave_32", 0, AUDIO_WAVE_32},
                    name_case{"sun", 0, AUDIO_SUN_16}, name_case{"sun_8", 0, AUDIO_SUN_8},
                    name_case{"sun_16", 0, AUDIO_SUN_16}, name_case{"sun_24", 0, AUDIO_SUN_24},
                    name_case{"sun_32", 0, AUDIO_SUN_32}, name_case{"sun_f", 0, AUDIO_SUN_F},
                    name_case{"sun_d", 0, AUDIO_SUN_D}),
    case_name);

// Exact and case-sensitive: no prefixes, no blanks, no upper case, and the
// family codes have no names.
INSTANTIATE_TEST_SUITE_P(
    not_names, type_names,
    testing::Values(name_case{"AIFF", 17, 17}, name_case{"Wave", 3, 3}, name_case{"", 17, 17},
                    name_case{"wave_", 17, 17}, name_case{"wav", 17, 17}, name_case{"wave_16 ", 3, 3},
                    name_case{" wave", 3, 3}, name_case{"wave_64", 3, 3}, name_case{"aiff_16x", 17, 17},
                    name_case{"sun_f32", 17, 17}, name_case{"ils_8", -5, -5}, name_case{"pcm", 99, 99}),
    case_name);

TEST(type_names, every_named_code_is_unique_and_has_a_codec)
{
    // The names cover the 23 codes with samples: all codes but the families.
    const char* names[] = {"ils",   "ils_f",  "ils_d",   "aiff_8",  "aiff_16", "aiff_24", "aiff_32", "aifc_8",
                           "aifc_16", "aifc_24", "aifc_32", "spw",    "spw_d",   "wave_8",  "wave_16", "wave_24",
                           "wave_32", "sun_8",  "sun_16",  "sun_24", "sun_32",  "sun_f",   "sun_d"};
    bool seen[AUDIO_TYPE_COUNT] = {};
    for (const char* name : names) {
        const int code = get_audio_type(name, -1);
        ASSERT_GE(code, 0) << name;
        EXPECT_FALSE(seen[code]) << name;
        seen[code] = true;
        EXPECT_EQ(audio_sample_bytes(code) * 8, get_type_bits(code)) << name;
    }
    for (int family : {AUDIO_AIFF, AUDIO_AIFC, AUDIO_WAVE, AUDIO_SUN}) {
        EXPECT_FALSE(seen[family]);
        EXPECT_EQ(audio_sample_bytes(family), 0);
    }
}

TEST(header_record, init_describes_empty_stereo_48k_wave_16)
{
    audio_header h;
    std::memset(&h, 0x5A, sizeof h);
    EXPECT_EQ(init_audio_header(&h), 0);
    EXPECT_EQ(h.channels, 2);
    EXPECT_EQ(h.sfreq, 48000);
    EXPECT_EQ(h.frames, 0);
    EXPECT_EQ(h.comment[0], '\0');
    expect_ils_defaults(h);
    EXPECT_EQ(h.type, AUDIO_WAVE_16);
    EXPECT_EQ(h.data_offset, 0);
}

TEST(header_record, copy_takes_every_field_but_data_offset)
{
    audio_header source;
    std::memset(&source, 0, sizeof source);
    source.channels = 3;
    source.sfreq = 44100;
    source.frames = 12345;
    source.ils_blocks = 4;
    source.ils_value35 = 5;
    source.ils_value37 = 6;
    source.ils_marker = -32002;
    source.ils_word63 = 7;
    source.ils_word64 = 8;
    source.ils_byte65 = -9;
    source.ils_half65 = -10;
    source.type = AUDIO_AIFC_24;
    source.data_offset = 54;
    std::strcpy(source.comment, "a comment");

    audio_header dest;
    init_audio_header(&dest);
    dest.data_offset = 777;
    EXPECT_EQ(copy_audio_header(&dest, &source), 0);
    EXPECT_EQ(dest.channels, 3);
    EXPECT_EQ(dest.sfreq, 44100);
    EXPECT_EQ(dest.frames, 12345);
    EXPECT_EQ(dest.ils_blocks, 4);
    EXPECT_EQ(dest.ils_value35, 5);
    EXPECT_EQ(dest.ils_value37, 6);
    EXPECT_EQ(dest.ils_marker, -32002);
    EXPECT_EQ(dest.ils_word63, 7);
    EXPECT_EQ(dest.ils_word64, 8);
    EXPECT_EQ(dest.ils_byte65, -9);
    EXPECT_EQ(dest.ils_half65, -10);
    EXPECT_EQ(dest.type, AUDIO_AIFC_24);
    EXPECT_EQ(dest.data_offset, 777);
    EXPECT_STREQ(dest.comment, "a comment");
}

TEST(header_record, copy_of_an_unterminated_comment_stays_inside_the_field)
{
    audio_header source;
    init_audio_header(&source);
    std::memset(source.comment, 'x', sizeof source.comment);  // no NUL at all
    audio_header dest;
    init_audio_header(&dest);
    copy_audio_header(&dest, &source);
    EXPECT_EQ(std::strlen(dest.comment), 255u);
}

TEST(type_list, printed_exactly_on_standard_output)
{
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    print_audio_types();
    std::fflush(stdout);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(out, type_list);
}

}  // namespace
