// ILS files: the 128 header words, both stored byte orders, the scaled
// values and the pass-through fields.
#include "formats_helpers.h"
#include "run.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>

using namespace formats_test;

namespace {

using words = std::array<int32_t, 128>;

words words_of(const std::string& h, bool big_endian = false)
{
    words w{};
    for (size_t i = 0; i < w.size(); ++i)
        w[i] = static_cast<int32_t>(big_endian ? be32_at(h, 4 * i) : le32_at(h, 4 * i));
    return w;
}

std::string image_of(const words& w, bool big_endian = false)
{
    std::string s;
    for (int32_t v : w)
        s += big_endian ? be32(static_cast<uint32_t>(v)) : le32(static_cast<uint32_t>(v));
    return s;
}

TEST(ils_writer, sixteen_bit_stereo_words)
{
    const std::string h = header_bytes(make_header(AUDIO_ILS, 2, 48000, 1000));
    ASSERT_EQ(h.size(), 512u);
    words expected{};
    expected[4] = 89;
    expected[5] = 7;
    expected[11] = 128;
    expected[54] = 1000;
    expected[61] = 48000;
    expected[62] = -32000;
    expected[63] = 32149;
    expected[64] = 123456;
    expected[65] = 1;
    EXPECT_EQ(words_of(h), expected);

    const read_result r = read_header_of(h + std::string(4000, '\0'));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.header.type, AUDIO_ILS);
    EXPECT_EQ(r.header.channels, 2);
    EXPECT_EQ(r.header.sfreq, 48000);
    EXPECT_EQ(r.header.frames, 1000);
    EXPECT_EQ(r.header.data_offset, 512);
    EXPECT_EQ(r.header.ils_blocks, 7);
    EXPECT_EQ(r.header.ils_marker, -32000);
    EXPECT_EQ(r.position, 512);
}

struct kind_case {
    int type;
    int32_t block_frames;
    int32_t marker;
};

class ils_kinds : public testing::TestWithParam<kind_case> {};

TEST_P(ils_kinds, mono_block_frames_and_marker)
{
    const std::string h = header_bytes(make_header(GetParam().type, 1, 8000, 100));
    const words w = words_of(h);
    EXPECT_EQ(w[11], GetParam().block_frames);
    EXPECT_EQ(w[62], GetParam().marker);
    EXPECT_EQ(read_header_of(h).header.type, GetParam().type);
}

INSTANTIATE_TEST_SUITE_P(all, ils_kinds,
                         testing::Values(kind_case{AUDIO_ILS, 256, -32000}, kind_case{AUDIO_ILS_F, 128, -32002},
                                         kind_case{AUDIO_ILS_D, 64, -32004}),
                         [](const auto& info) { return type_code_name(info.param.type); });

TEST(ils_writer, pass_through_fields_survive)
{
    audio_header h = make_header(AUDIO_ILS_F, 128, 44100, 3);
    h.ils_value35 = -77;
    h.ils_value37 = 1234567;
    h.ils_word63 = -5;
    h.ils_word64 = 99;
    h.ils_byte65 = -3;
    h.ils_half65 = -30000;
    const read_result r = read_header_of(header_bytes(h));
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.header.channels, 128);
    EXPECT_EQ(r.header.ils_value35, -77);
    EXPECT_EQ(r.header.ils_value37, 1234567);
    EXPECT_EQ(r.header.ils_word63, -5);
    EXPECT_EQ(r.header.ils_word64, 99);
    EXPECT_EQ(r.header.ils_byte65, -3);
    EXPECT_EQ(r.header.ils_half65, -30000);
    EXPECT_STREQ(r.header.comment, "");
}

TEST(ils_writer, zero_channels_gives_defined_words_and_no_frames)
{
    temp_dir dir;
    audio_header h = make_header(AUDIO_ILS, 0, 8000, 10);
    const words w = words_of(header_bytes(h));
    EXPECT_EQ(w[11], 0);
    EXPECT_EQ(w[5], 0);
    EXPECT_EQ(w[65] & 0xFF, 0xFF);
    audio_file* f = open_audio_file(dir.file("x.ils").c_str(), "w", &h);
    ASSERT_NE(f, nullptr);
    const double frame[1] = {1.0};
    EXPECT_EQ(write_audio_frame(frame, f), -1);
    EXPECT_EQ(close_audio_file(f), 0);
    const read_result r = read_header_of(read_file(dir.file("x.ils")));
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.header.channels, 0);
}

TEST(ils_writer, extreme_counts_do_not_overflow)
{
    const words w = words_of(header_bytes(make_header(AUDIO_ILS_D, INT32_MAX, 8000, INT32_MAX)));
    EXPECT_EQ(w[5], INT32_MAX);
    EXPECT_EQ(w[11], 0);
    const words n = words_of(header_bytes(make_header(AUDIO_ILS_D, INT32_MIN, 8000, 1)));
    EXPECT_EQ(n[65] & 0xFF, 0xFF);
}

// A header stored big-endian, with float samples in the same order.
TEST(ils_reader, big_endian_file)
{
    words w{};
    w[4] = 89;
    w[5] = 1;
    w[11] = 64;
    w[35] = 12;
    w[36] = 2;
    w[54] = 3;
    w[60] = 1;
    w[61] = 4410;
    w[62] = -32002;
    w[63] = 32149;
    w[64] = 123456;
    w[65] = 1 | 0x0500 | 0x7FFF0000;
    std::string file = image_of(w, true);
    const float samples[6] = {0.5f, -1.25f, 3.0f, -4.0f, 1e-3f, 65536.0f};
    for (float s : samples)
        file += be32(std::bit_cast<uint32_t>(s));

    const read_result r = read_header_of(file);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.header.type, AUDIO_ILS_F);
    EXPECT_EQ(r.header.ils_marker, static_cast<int32_t>(0xFE82FFFFu));
    EXPECT_EQ(r.header.sfreq, 44100);
    EXPECT_EQ(r.header.channels, 2);
    EXPECT_EQ(r.header.frames, 3);
    EXPECT_EQ(r.header.ils_value35, 1200);
    EXPECT_EQ(r.header.ils_byte65, 5);
    EXPECT_EQ(r.header.ils_half65, 0x7FFF);

    temp_dir dir;
    write_file(dir.file("be.ils"), file);
    audio_header h{};
    const std::vector<double> values = decode_file(dir.file("be.ils"), &h);
    ASSERT_EQ(values.size(), 6u);
    for (size_t i = 0; i < 6; ++i)
        EXPECT_EQ(values[i], static_cast<double>(samples[i]));
}

struct power_case {
    int32_t power;
    int32_t value;
    int32_t sfreq;
};

class ils_powers : public testing::TestWithParam<power_case> {};

TEST_P(ils_powers, sampling_frequency_is_scaled)
{
    words w{};
    w[60] = GetParam().power;
    w[61] = GetParam().value;
    w[62] = -32000;
    const read_result r = read_header_of(image_of(w) + std::string(8, '\0'));
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.header.sfreq, GetParam().sfreq);
}

INSTANTIATE_TEST_SUITE_P(all, ils_powers,
                         testing::Values(power_case{1, 4410, 44100}, power_case{11, 4410, 0}, power_case{10, 1, INT32_MAX},
                                         power_case{10, -1, INT32_MIN}, power_case{-1, 441005, 44101},
                                         power_case{-2, -150, -1}, power_case{INT32_MIN, 5, 0}, power_case{0, 48000, 48000}),
                         [](const auto& info) {
                             return number_name(info.param.value) + "_times_10_to_" + number_name(info.param.power);
                         });

TEST(ils_reader, frame_count_from_file_size)
{
    words w{};
    w[62] = -32000;
    const read_result r = read_header_of(image_of(w) + std::string(4000, '\0'));
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.header.channels, 1);
    EXPECT_EQ(r.header.frames, 2000);
    w[54] = -4;
    EXPECT_EQ(read_header_of(image_of(w) + std::string(4000, '\0')).header.frames, 2000);
}

TEST(ils_reader, short_or_foreign_streams_are_not_recognised)
{
    words w{};
    w[62] = -32000;
    const std::string image = image_of(w);
    for (const std::string& bytes : {std::string(), std::string("ab"), image.substr(0, 511), std::string("plain text\n"),
                                     std::string(600, 'x')}) {
        const read_result r = read_header_of(bytes);
        EXPECT_EQ(r.status, NOT_RECOGNISED) << bytes.size();
        EXPECT_EQ(r.err, "\nInputfile error: filetype not recognized !\n");
    }
}

TEST(ils_roundtrip, samples_of_every_kind)
{
    temp_dir dir;
    const std::vector<double> values{0, 1, -1, 32767, -32768, 12345, -2, 3};
    for (int type : {AUDIO_ILS, AUDIO_ILS_F, AUDIO_ILS_D}) {
        const std::string name = dir.file("x") + std::to_string(type);
        ASSERT_TRUE(encode_file(name, make_header(type, 2, 16000, 0), values));
        audio_header h{};
        EXPECT_EQ(decode_file(name, &h), values) << type;
        EXPECT_EQ(h.type, type);
        EXPECT_EQ(h.frames, 4);
    }
}

}  // namespace
