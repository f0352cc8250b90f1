// SUN audio header: the writer's six words, the reader's mapping and its
// answers to annotations, odd sizes and unsupported encodings.
#include "formats_helpers.h"
#include "run.h"

#include <gtest/gtest.h>

using namespace formats_test;

namespace {

struct sun_layout {
    int type;
    uint32_t encoding;
    uint32_t bytes;
};

class sun_writer : public testing::TestWithParam<sun_layout> {};

TEST_P(sun_writer, writes_six_words_and_reads_them_back)
{
    const sun_layout& c = GetParam();
    const std::string h = header_bytes(make_header(c.type, 2, 48000, 1000));
    ASSERT_EQ(h.size(), 24u);
    EXPECT_EQ(h.substr(0, 4), ".snd");
    EXPECT_EQ(be32_at(h, 4), 24u);
    EXPECT_EQ(be32_at(h, 8), 1000u * c.bytes * 2);
    EXPECT_EQ(be32_at(h, 12), c.encoding);
    EXPECT_EQ(be32_at(h, 16), 48000u);
    EXPECT_EQ(be32_at(h, 20), 2u);

    const read_result r = read_header_of(h + std::string(1000 * c.bytes * 2, '\0'));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.header.type, c.type);
    EXPECT_EQ(r.header.channels, 2);
    EXPECT_EQ(r.header.sfreq, 48000);
    EXPECT_EQ(r.header.frames, 1000);
    EXPECT_EQ(r.header.data_offset, 24);
    EXPECT_EQ(r.position, 24);
}

INSTANTIATE_TEST_SUITE_P(all_encodings, sun_writer,
                         testing::Values(sun_layout{AUDIO_SUN_8, 2, 1}, sun_layout{AUDIO_SUN_16, 3, 2},
                                         sun_layout{AUDIO_SUN_24, 4, 3}, sun_layout{AUDIO_SUN_32, 5, 4},
                                         sun_layout{AUDIO_SUN_F, 6, 4}, sun_layout{AUDIO_SUN_D, 7, 8}),
                         [](const auto& info) { return type_code_name(info.param.type); });

TEST(sun_writer_family, bare_family_code_writes_the_16_bit_header)
{
    const std::string h = header_bytes(make_header(AUDIO_SUN, 1, 8000, 10));
    EXPECT_EQ(be32_at(h, 8), 20u);
    EXPECT_EQ(be32_at(h, 12), 3u);
}

TEST(sun_writer_family, data_beyond_32_bits_is_written_as_size_unknown)
{
    const std::string h = header_bytes(make_header(AUDIO_SUN_D, 8, 48000, 0x7FFFFFFF));
    EXPECT_EQ(be32_at(h, 8), 0xFFFFFFFFu);
}

std::string sun_file(uint32_t offset, uint32_t size, uint32_t encoding, uint32_t rate, uint32_t channels)
{
    return ".snd" + be32(offset) + be32(size) + be32(encoding) + be32(rate) + be32(channels);
}

TEST(sun_reader, annotation_is_skipped)
{
    const read_result r = read_header_of(sun_file(32, 8, 3, 8000, 1) + "annotate" + std::string(8, 'x'));
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.header.data_offset, 32);
    EXPECT_EQ(r.position, 32);
    EXPECT_EQ(r.header.frames, 4);
}

TEST(sun_reader, offset_below_24_starts_data_after_header)
{
    const read_result r = read_header_of(sun_file(8, 4, 3, 8000, 1) + "abcd");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.header.data_offset, 24);
    EXPECT_EQ(r.header.frames, 2);
}

TEST(sun_reader, mu_law_is_not_supported)
{
    const read_result r = read_header_of(sun_file(24, 8, 1, 8000, 1) + std::string(8, '\0'));
    EXPECT_EQ(r.status, SUN_BROKEN);
    EXPECT_EQ(r.err, "sun format: 1 not supported\n\nError reading SUN audio file");
}

TEST(sun_reader, size_all_ones_is_no_size)
{
    // "Size not known", as sox writes to pipes: the file's size counts.
    const read_result r = read_header_of(sun_file(24, 0xFFFFFFFF, 3, 8000, 2) + std::string(40, '\0'));
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.header.frames, 10);
    // Just below it, a size is a size, computed without wrapping.
    const read_result big = read_header_of(sun_file(24, 0xFFFFFFFE, 3, 8000, 2) + std::string(40, '\0'));
    EXPECT_EQ(big.header.frames, 0xFFFFFFFEll / 4);
}

TEST(sun_reader, size_zero_takes_frames_from_file_size)
{
    const read_result r = read_header_of(sun_file(24, 0, 5, 8000, 2) + std::string(80, '\0'));
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.header.type, AUDIO_SUN_24 + 1);
    EXPECT_EQ(r.header.frames, 10);
}

TEST(sun_reader, keeps_comment_and_sets_ils_defaults)
{
    audio_header start{};
    std::memset(&start, 0x5A, sizeof start);
    std::strcpy(start.comment, "kept");
    const read_result r = read_header_of(sun_file(24, 4, 3, 8000, 1) + "abcd", &start);
    ASSERT_EQ(r.status, 0);
    EXPECT_STREQ(r.header.comment, "kept");
    EXPECT_EQ(r.header.ils_marker, -32000);
    EXPECT_EQ(r.header.ils_word63, 32149);
    EXPECT_EQ(r.header.ils_word64, 123456);
    EXPECT_EQ(r.header.ils_blocks, 0);
    EXPECT_EQ(r.header.ils_half65, 0);
}

TEST(sun_reader, header_rewrite_changes_only_the_size_word)
{
    temp_dir dir;
    const std::string name = dir.file("x.au");
    audio_header h = make_header(AUDIO_SUN_16, 2, 44100, 0);
    const std::vector<double> values(200, 1000.0);
    audio_file* out = open_audio_file(name.c_str(), "w", &h);
    ASSERT_NE(out, nullptr);
    write_audio_frames(values.data(), 100, out);
    ASSERT_EQ(close_audio_file(out), 0);
    ASSERT_EQ(rewrite_audio_header(name.c_str(), &h, 100), 0);
    const std::string bytes = read_file(name);
    ASSERT_EQ(bytes.size(), 24u + 400u);
    EXPECT_EQ(bytes.substr(0, 24), sun_file(24, 400, 3, 44100, 2));
}

}  // namespace
