// sonomorph between all 23 types in every direction: small integer values
// fit every precision, so each conversion keeps them exactly.
#include "formats_helpers.h"
#include "run.h"

#include <gtest/gtest.h>

using namespace formats_test;

namespace {

struct type_entry {
    const char* name;
    int type;
};

constexpr type_entry all_types[] = {
    {"ils", AUDIO_ILS},         {"ils_f", AUDIO_ILS_F},     {"ils_d", AUDIO_ILS_D},     {"aiff_8", AUDIO_AIFF_8},
    {"aiff_16", AUDIO_AIFF_16}, {"aiff_24", AUDIO_AIFF_24}, {"aiff_32", AUDIO_AIFF_32}, {"aifc_8", AUDIO_AIFC_8},
    {"aifc_16", AUDIO_AIFC_16}, {"aifc_24", AUDIO_AIFC_24}, {"aifc_32", AUDIO_AIFC_32}, {"spw", AUDIO_SPW},
    {"spw_d", AUDIO_SPW_D},     {"wave_8", AUDIO_WAVE_8},   {"wave_16", AUDIO_WAVE_16}, {"wave_24", AUDIO_WAVE_24},
    {"wave_32", AUDIO_WAVE_32}, {"sun_8", AUDIO_SUN_8},     {"sun_16", AUDIO_SUN_16},   {"sun_24", AUDIO_SUN_24},
    {"sun_32", AUDIO_SUN_32},   {"sun_f", AUDIO_SUN_F},     {"sun_d", AUDIO_SUN_D},
};
static_assert(std::size(all_types) == 23);

bool is_spw(int type) { return type == AUDIO_SPW || type == AUDIO_SPW_D; }

class convert_from : public testing::TestWithParam<type_entry> {};

TEST_P(convert_from, to_every_type_keeps_values_and_counts)
{
    const type_entry& from = GetParam();
    temp_dir dir;
    std::vector<double> values;
    for (int i = 0; i < 300; ++i)
        values.push_back(static_cast<double>((i * 37) % 256 - 128));
    const std::string source = dir.file("source");
    ASSERT_TRUE(encode_file(source, make_header(from.type, 2, 22050, 0, "carried"), values));
    const int channels = is_spw(from.type) ? 1 : 2;

    for (const type_entry& to : all_types) {
        const std::string target = dir.file(std::string("to_") + to.name);
        const run_result r = run_tool("sonomorph", {"-t", to.name, "-o", target, source});
        ASSERT_EQ(r.status, 0) << from.name << " -> " << to.name << ": " << r.err;
        audio_header h{};
        const std::vector<double> back = decode_file(target, &h);
        EXPECT_EQ(h.type, to.type) << from.name << " -> " << to.name;
        EXPECT_EQ(h.sfreq, 22050) << from.name << " -> " << to.name;
        // SPW holds one signal of all samples; other families keep the
        // input's grouping.
        EXPECT_EQ(h.channels, is_spw(to.type) ? 1 : channels) << from.name << " -> " << to.name;
        EXPECT_EQ(int64_t{h.frames} * h.channels, 300) << from.name << " -> " << to.name;
        EXPECT_EQ(back, values) << from.name << " -> " << to.name;
    }
}

INSTANTIATE_TEST_SUITE_P(all, convert_from, testing::ValuesIn(all_types),
                         [](const testing::TestParamInfo<type_entry>& info) { return std::string(info.param.name); });

// The bare family names mean the 16-bit type of their family.
TEST(convert_names, family_names_are_16_bit)
{
    temp_dir dir;
    ASSERT_EQ(run_tool("tonesmith", {"-c", "1", "-n", "10", dir.file("in.wav")}).status, 0);
    const type_entry names[] = {{"aiff", AUDIO_AIFF_16}, {"aifc", AUDIO_AIFC_16}, {"sun", AUDIO_SUN_16}, {"wave", AUDIO_WAVE_16}};
    for (const type_entry& n : names) {
        ASSERT_EQ(run_tool("sonomorph", {"-t", n.name, "-o", dir.file(n.name), dir.file("in.wav")}).status, 0);
        audio_header h{};
        decode_file(dir.file(n.name), &h);
        EXPECT_EQ(h.type, n.type) << n.name;
    }
}

// -n scales to the new range: 16 -> 24 -> 16 bits through two families
// gives back the samples.
TEST(convert_scaled, sixteen_to_twenty_four_and_back)
{
    temp_dir dir;
    ASSERT_EQ(run_tool("tonesmith", {"-c", "2", "-n", "2000", "-a", "32000", dir.file("in.wav")}).status, 0);
    for (const char* wide : {"aifc_24", "sun_24", "aiff_32", "sun_f", "ils_d", "spw_d"}) {
        ASSERT_EQ(run_tool("sonomorph", {"-n", "-t", wide, "-o", dir.file("wide"), dir.file("in.wav")}).status, 0) << wide;
        ASSERT_EQ(run_tool("sonomorph", {"-n", "-t", "sun_16", "-o", dir.file("narrow"), dir.file("wide")}).status, 0) << wide;
        audio_header a{}, b{};
        EXPECT_EQ(decode_file(dir.file("narrow"), &b), decode_file(dir.file("in.wav"), &a)) << wide;
    }
}

}  // namespace
