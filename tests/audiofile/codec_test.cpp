// Sample codecs and frame I/O: decoding of known bytes, every clipping and
// rounding rule of the encoders, the buffer's refill and flush points, and
// what the frame functions refuse.
#include "audiofile.h"
#include "codec.h"
#include "run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using bytes = std::vector<unsigned char>;
constexpr double nan_value = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

// An ILS marker as a big-endian ILS header reads when taken little-endian.
int32_t reversed(int32_t marker)
{
    return static_cast<int32_t>(__builtin_bswap32(static_cast<uint32_t>(marker)));
}

audio_header header_of(int type, int channels = 1, int32_t marker = ILS_MARKER_16)
{
    audio_header h;
    init_audio_header(&h);
    h.type = type;
    h.channels = channels;
    h.ils_marker = marker;
    return h;
}

bytes encode(int type, const std::vector<double>& values, int32_t marker = ILS_MARKER_16)
{
    const audio_header h = header_of(type, 1, marker);
    const sample_codec* codec = sample_codec_for(&h, AUDIO_MODE_WRITE);
    if (codec == nullptr)
        return {};
    bytes out(values.size() * static_cast<size_t>(codec->bytes));
    codec->encode(values.data(), out.data(), values.size());
    return out;
}

std::vector<double> decode(int type, const bytes& in, int32_t marker = ILS_MARKER_16)
{
    const audio_header h = header_of(type, 1, marker);
    const sample_codec* codec = sample_codec_for(&h, AUDIO_MODE_READ);
    if (codec == nullptr)
        return {};
    std::vector<double> out(in.size() / static_cast<size_t>(codec->bytes));
    codec->decode(in.data(), out.data(), out.size());
    return out;
}

// --- decoding --------------------------------------------------------------

struct decode_case {
    const char* name;
    std::vector<int> types;
    int32_t marker;
    bytes in;
    std::vector<double> values;
};

class decoding : public testing::TestWithParam<decode_case> {};

TEST_P(decoding, known_bytes_give_their_values)
{
    const decode_case& c = GetParam();
    for (int type : c.types) {
        SCOPED_TRACE("type " + std::to_string(type));
        EXPECT_EQ(decode(type, c.in, c.marker), c.values);
    }
}

const int32_t ils16_big = reversed(ILS_MARKER_16);
const int32_t ilsf_big = reversed(ILS_MARKER_FLOAT);

INSTANTIATE_TEST_SUITE_P(
    every_encoding, decoding,
    testing::Values(
        decode_case{"s8", {2, 7, 21}, ILS_MARKER_16, {0x80, 0xFF, 0x7F, 0x00, 0x01}, {-128, -1, 127, 0, 1}},
        decode_case{"wave8_excess128", {16}, ILS_MARKER_16, {0x00, 0x80, 0xFF, 0x7F, 0x81}, {-128, 0, 127, -1, 1}},
        decode_case{"s16be", {3, 8, 11, 22}, ILS_MARKER_16, {0x80, 0x00, 0xFF, 0xFE, 0x7F, 0xFF, 0x01, 0x02},
                    {-32768, -2, 32767, 258}},
        decode_case{"s16le", {17}, ILS_MARKER_16, {0x00, 0x80, 0xFE, 0xFF, 0xFF, 0x7F, 0x02, 0x01},
                    {-32768, -2, 32767, 258}},
        decode_case{"ils16_little_marker", {0}, ILS_MARKER_16, {0x00, 0x80, 0xFE, 0xFF, 0x02, 0x01}, {-32768, -2, 258}},
        decode_case{"ils16_reversed_marker", {0}, ils16_big, {0x80, 0x00, 0xFF, 0xFE, 0x01, 0x02}, {-32768, -2, 258}},
        // The float marker does not make 16-bit samples big-endian.
        decode_case{"ils16_float_marker", {0}, ilsf_big, {0x02, 0x01}, {258}},
        decode_case{"s24be", {4, 9, 23}, ILS_MARKER_16,
                    {0x80, 0x00, 0x00, 0xFF, 0xFF, 0xFE, 0x7F, 0xFF, 0xFF, 0x00, 0x01, 0x02, 0xFF, 0xFF, 0xFF},
                    {-8388608, -2, 8388607, 258, -1}},
        decode_case{"s24le", {18}, ILS_MARKER_16,
                    {0x00, 0x00, 0x80, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x02, 0x01, 0x00, 0xFF, 0xFF, 0xFF},
                    {-8388608, -2, 8388607, 258, -1}},
        decode_case{"s24_single_sample", {18}, ILS_MARKER_16, {0x56, 0x34, 0x92}, {-7195562}},
        decode_case{"s32be", {5, 10, 24}, ILS_MARKER_16,
                    {0x80, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFE, 0x7F, 0xFF, 0xFF, 0xFF},
                    {-2147483648.0, -2, 2147483647.0}},
        decode_case{"s32le", {19}, ILS_MARKER_16,
                    {0, 0, 0, 0x80, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F},
                    {-2147483648.0, -2, 2147483647.0}},
        decode_case{"f32be", {25}, ILS_MARKER_16, {0x3F, 0x80, 0, 0, 0xBF, 0x00, 0, 0, 0x3D, 0xCC, 0xCC, 0xCD},
                    {1.0, -0.5, static_cast<double>(0.1f)}},
        decode_case{"ilsf_little_marker", {13}, ILS_MARKER_FLOAT, {0, 0, 0x80, 0x3F, 0, 0, 0x00, 0xBF}, {1.0, -0.5}},
        decode_case{"ilsf_reversed_marker", {13}, ilsf_big, {0x3F, 0x80, 0, 0, 0xBF, 0x00, 0, 0}, {1.0, -0.5}},
        decode_case{"ilsf_16bit_marker", {13}, ils16_big, {0, 0, 0x80, 0x3F}, {1.0}},
        decode_case{"f64be", {12, 14, 26}, ILS_MARKER_16,
                    {0x3F, 0xF0, 0, 0, 0, 0, 0, 0, 0xC0, 0x09, 0x21, 0xFB, 0x54, 0x44, 0x2D, 0x18},
                    {1.0, -3.141592653589793}},
        // ILS doubles are big-endian whatever the marker says.
        decode_case{"ilsd_any_marker", {14}, reversed(ILS_MARKER_DOUBLE), {0x3F, 0xF0, 0, 0, 0, 0, 0, 0}, {1.0}}),
    [](const testing::TestParamInfo<decode_case>& info) { return std::string(info.param.name); });

// --- encoding --------------------------------------------------------------

struct encode_case {
    const char* name;
    std::vector<int> types;
    double x;
    bytes out;
};

class encoding : public testing::TestWithParam<encode_case> {};

TEST_P(encoding, stores_the_rounded_clipped_value)
{
    const encode_case& c = GetParam();
    for (int type : c.types) {
        SCOPED_TRACE("type " + std::to_string(type));
        EXPECT_EQ(encode(type, {c.x}), c.out);
    }
}

INSTANTIATE_TEST_SUITE_P(
    sixteen_bit, encoding,
    testing::Values(encode_case{"above_max", {3, 8, 11, 22}, 32767.5, {0x7F, 0xFF}},
                    encode_case{"below_min", {3, 8, 11, 22}, -32768.4, {0x80, 0x00}},
                    encode_case{"half_up", {3, 8, 11, 22}, 0.5, {0x00, 0x01}},
                    encode_case{"minus_half_up_to_zero", {3, 8, 11, 22}, -0.5, {0x00, 0x00}},
                    encode_case{"minus_one_and_half", {3, 8, 11, 22}, -1.5, {0xFF, 0xFF}},
                    encode_case{"two_and_half", {3, 8, 11, 22}, 2.5, {0x00, 0x03}},
                    encode_case{"minus_two_and_half", {3, 8, 11, 22}, -2.5, {0xFF, 0xFE}},
                    encode_case{"just_below_max_rounds_down", {3, 8, 11, 22}, 32767.49, {0x7F, 0xFF}},
                    encode_case{"min_plus_half", {3, 8, 11, 22}, -32767.5, {0x80, 0x01}},
                    encode_case{"nan_is_min", {3, 8, 11, 22}, nan_value, {0x80, 0x00}},
                    encode_case{"plus_inf", {3, 8, 11, 22}, inf, {0x7F, 0xFF}},
                    encode_case{"minus_inf", {3, 8, 11, 22}, -inf, {0x80, 0x00}},
                    encode_case{"huge", {3, 8, 11, 22}, 1e300, {0x7F, 0xFF}},
                    encode_case{"le_order", {17}, -2.0, {0xFE, 0xFF}},
                    encode_case{"le_above_max", {17}, 32767.5, {0xFF, 0x7F}},
                    encode_case{"le_nan", {17}, nan_value, {0x00, 0x80}}),
    [](const testing::TestParamInfo<encode_case>& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    eight_bit, encoding,
    testing::Values(encode_case{"s8_max", {2, 7, 21}, 127.0, {0x7F}},
                    encode_case{"s8_above_max", {2, 7, 21}, 127.5, {0x7F}},
                    encode_case{"s8_below_min", {2, 7, 21}, -128.4, {0x80}},
                    encode_case{"s8_nan", {2, 7, 21}, nan_value, {0x80}},
                    encode_case{"s8_minus_half", {2, 7, 21}, -0.5, {0x00}},
                    encode_case{"s8_minus_one_and_half", {2, 7, 21}, -1.5, {0xFF}},
                    encode_case{"wave8_max", {16}, 127.0, {0xFF}},
                    encode_case{"wave8_min", {16}, -128.0, {0x00}},
                    encode_case{"wave8_zero", {16}, 0.0, {0x80}},
                    encode_case{"wave8_minus_half", {16}, -0.5, {0x80}},
                    encode_case{"wave8_half", {16}, 0.5, {0x81}},
                    encode_case{"wave8_minus_one_and_half", {16}, -1.5, {0x7F}},
                    encode_case{"wave8_nan", {16}, nan_value, {0x00}},
                    encode_case{"wave8_huge", {16}, 1000.0, {0xFF}},
                    encode_case{"wave8_minus_huge", {16}, -1000.0, {0x00}}),
    [](const testing::TestParamInfo<encode_case>& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    twenty_four_bit, encoding,
    testing::Values(encode_case{"above_max", {4, 9, 23}, 8388607.5, {0x7F, 0xFF, 0xFF}},
                    encode_case{"below_min", {4, 9, 23}, -8388608.4, {0x80, 0x00, 0x00}},
                    encode_case{"nan", {4, 9, 23}, nan_value, {0x80, 0x00, 0x00}},
                    encode_case{"minus_one_and_half", {4, 9, 23}, -1.5, {0xFF, 0xFF, 0xFF}},
                    encode_case{"value", {4, 9, 23}, 258.25, {0x00, 0x01, 0x02}},
                    encode_case{"le_value", {18}, 258.0, {0x02, 0x01, 0x00}},
                    encode_case{"le_min", {18}, -8388608.0, {0x00, 0x00, 0x80}},
                    encode_case{"le_huge", {18}, 1e20, {0xFF, 0xFF, 0x7F}}),
    [](const testing::TestParamInfo<encode_case>& info) { return std::string(info.param.name); });

// 32-bit samples clip like the other integer types; full scale of a float
// file scaled by 2^31 must not turn into the most negative value.
INSTANTIATE_TEST_SUITE_P(
    thirty_two_bit, encoding,
    testing::Values(encode_case{"full_scale_clips", {5, 10, 24}, 2147483648.0, {0x7F, 0xFF, 0xFF, 0xFF}},
                    encode_case{"just_below_max", {5, 10, 24}, 2147483647.4, {0x7F, 0xFF, 0xFF, 0xFF}},
                    encode_case{"max_plus_half", {5, 10, 24}, 2147483647.5, {0x7F, 0xFF, 0xFF, 0xFF}},
                    encode_case{"below_min", {5, 10, 24}, -2147483648.4, {0x80, 0x00, 0x00, 0x00}},
                    encode_case{"far_below_min", {5, 10, 24}, -2147483649.0, {0x80, 0x00, 0x00, 0x00}},
                    encode_case{"min_plus_half", {5, 10, 24}, -2147483647.5, {0x80, 0x00, 0x00, 0x01}},
                    encode_case{"beyond_2_63", {5, 10, 24}, 1e19, {0x7F, 0xFF, 0xFF, 0xFF}},
                    encode_case{"minus_huge", {5, 10, 24}, -1e300, {0x80, 0x00, 0x00, 0x00}},
                    encode_case{"plus_inf", {5, 10, 24}, inf, {0x7F, 0xFF, 0xFF, 0xFF}},
                    encode_case{"minus_inf", {5, 10, 24}, -inf, {0x80, 0x00, 0x00, 0x00}},
                    encode_case{"nan_is_zero", {5, 10, 24, 19}, nan_value, {0x00, 0x00, 0x00, 0x00}},
                    encode_case{"half_up", {5, 10, 24}, 0.5, {0x00, 0x00, 0x00, 0x01}},
                    encode_case{"minus_half", {5, 10, 24}, -0.5, {0x00, 0x00, 0x00, 0x00}},
                    encode_case{"minus_one_and_half", {5, 10, 24}, -1.5, {0xFF, 0xFF, 0xFF, 0xFF}},
                    encode_case{"le_value", {19}, 16909060.0, {0x04, 0x03, 0x02, 0x01}},
                    encode_case{"le_full_scale", {19}, 2147483648.0, {0xFF, 0xFF, 0xFF, 0x7F}}),
    [](const testing::TestParamInfo<encode_case>& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    floating, encoding,
    testing::Values(encode_case{"sun_float_one", {25}, 1.0, {0x3F, 0x80, 0x00, 0x00}},
                    encode_case{"sun_float_to_nearest", {25}, 0.1, {0x3D, 0xCC, 0xCC, 0xCD}},
                    encode_case{"sun_float_overflow_is_inf", {25}, 1e300, {0x7F, 0x80, 0x00, 0x00}},
                    encode_case{"sun_float_unclipped", {25}, -40000.0, {0xC7, 0x1C, 0x40, 0x00}},
                    encode_case{"double_one", {12, 14, 26}, 1.0, {0x3F, 0xF0, 0, 0, 0, 0, 0, 0}},
                    encode_case{"double_minus_two", {12, 14, 26}, -2.0, {0xC0, 0x00, 0, 0, 0, 0, 0, 0}},
                    encode_case{"double_inf", {26}, -inf, {0xFF, 0xF0, 0, 0, 0, 0, 0, 0}}),
    [](const testing::TestParamInfo<encode_case>& info) { return std::string(info.param.name); });

// The system writes ILS 16-bit and float samples little-endian, in the order
// of the ILS header it writes, whatever marker the record carries.
TEST(ils_samples, written_little_endian_whatever_the_marker)
{
    for (int32_t marker : {ILS_MARKER_16, ILS_MARKER_FLOAT, ils16_big, ilsf_big}) {
        SCOPED_TRACE(marker);
        EXPECT_EQ(encode(AUDIO_ILS, {258.0, 32767.5, -32768.4, 0.5, -1.5}, marker),
                  (bytes{0x02, 0x01, 0xFF, 0x7F, 0x00, 0x80, 0x01, 0x00, 0xFF, 0xFF}));
        EXPECT_EQ(encode(AUDIO_ILS_F, {1.0, -0.5}, marker), (bytes{0, 0, 0x80, 0x3F, 0, 0, 0x00, 0xBF}));
        EXPECT_EQ(encode(AUDIO_ILS_D, {1.0}, marker), (bytes{0x3F, 0xF0, 0, 0, 0, 0, 0, 0}));
    }
}

TEST(ils_samples, own_files_read_back_equal)
{
    const std::vector<double> values{-32768, -1, 0, 1, 12345, 32767};
    EXPECT_EQ(decode(AUDIO_ILS, encode(AUDIO_ILS, values), ILS_MARKER_16), values);
    const std::vector<double> floats{-1.5, 0.25, 1e-3f, 3.0e38f};
    EXPECT_EQ(decode(AUDIO_ILS_F, encode(AUDIO_ILS_F, floats), ILS_MARKER_FLOAT), floats);
}

TEST(double_samples, every_bit_pattern_passes_unaltered)
{
    // Quiet and signalling NaNs with payloads, both signs, infinities, a
    // subnormal and negative zero.
    const uint64_t patterns[] = {0x7FF8000000000000u, 0x7FF8000000000001u, 0xFFF8DEADBEEF0001u,
                                 0x7FF4000000000000u, 0xFFF0000000000001u, 0x7FF0000000000000u,
                                 0x0000000000000001u, 0x8000000000000000u, 0x3FF0000000000001u};
    for (int type : {AUDIO_SPW_D, AUDIO_ILS_D, AUDIO_SUN_D}) {
        for (uint64_t pattern : patterns) {
            bytes in(8);
            for (int i = 0; i < 8; ++i)
                in[static_cast<size_t>(i)] = static_cast<unsigned char>(pattern >> (56 - 8 * i));
            const std::vector<double> values = decode(type, in);
            ASSERT_EQ(values.size(), 1u);
            EXPECT_EQ(std::bit_cast<uint64_t>(values[0]), pattern);
            EXPECT_EQ(encode(type, values), in) << std::hex << pattern;
        }
    }
}

TEST(float_samples, nan_patterns_survive_a_round_trip)
{
    // Quiet and signalling, with payloads and both signs.
    for (uint32_t pattern : {0x7FC00000u, 0x7FC00001u, 0xFFC12345u, 0x7F800001u, 0x7FA00000u, 0xFFBFFFFFu}) {
        const bytes in{static_cast<unsigned char>(pattern >> 24), static_cast<unsigned char>(pattern >> 16),
                       static_cast<unsigned char>(pattern >> 8), static_cast<unsigned char>(pattern)};
        const std::vector<double> values = decode(AUDIO_SUN_F, in);
        ASSERT_EQ(values.size(), 1u);
        EXPECT_TRUE(std::isnan(values[0]));
        EXPECT_EQ(encode(AUDIO_SUN_F, values), in) << std::hex << pattern;
    }
}

// The encoders run on vectors; a literal form of the rule (clip on x, then
// floor(x + 0.5), a NaN below the minimum, or 0 for 32 bits) must agree with
// them on every value, above all just around the halves and the limits.
int64_t rule(double x, int64_t lo, int64_t hi, bool nan_is_zero)
{
    if (std::isnan(x))
        return nan_is_zero ? 0 : lo;
    if (x < static_cast<double>(lo))
        return lo;
    if (x > static_cast<double>(hi))
        return hi;
    return static_cast<int64_t>(std::floor(x + 0.5));
}

std::vector<double> awkward_values(double lo, double hi)
{
    std::vector<double> v{nan_value, -nan_value, inf, -inf, 0.0, -0.0, 1e300, -1e300, 1e-300, -1e-300};
    for (double centre : {lo, hi, 0.0, -1.0, 1.0, 2.0, -2.0, lo / 2, hi / 2}) {
        for (double offset : {-1.5, -1.0, -0.5, 0.0, 0.5, 1.0, 1.5}) {
            const double c = centre + offset;
            v.push_back(c);
            v.push_back(std::nextafter(c, inf));
            v.push_back(std::nextafter(c, -inf));
            v.push_back(std::nextafter(std::nextafter(c, inf), inf));
            v.push_back(std::nextafter(std::nextafter(c, -inf), -inf));
        }
    }
    std::mt19937_64 random(12345);
    std::uniform_real_distribution<double> within(lo * 1.01 - 2, hi * 1.01 + 2);
    for (int i = 0; i < 20000; ++i) {
        v.push_back(within(random));
        v.push_back(std::floor(within(random)) + 0.5);  // exact halves
    }
    return v;
}

struct rule_case {
    int type;
    int64_t lo, hi;
    bool nan_is_zero;
};

class rounding_rule : public testing::TestWithParam<rule_case> {};

TEST_P(rounding_rule, matches_the_literal_rule_everywhere)
{
    const rule_case& c = GetParam();
    const std::vector<double> values = awkward_values(static_cast<double>(c.lo), static_cast<double>(c.hi));
    // Encoded in one block (the vector path) and one at a time (the tail).
    const std::vector<double> block = decode(c.type, encode(c.type, values));
    ASSERT_EQ(block.size(), values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        const auto expected = static_cast<double>(rule(values[i], c.lo, c.hi, c.nan_is_zero));
        ASSERT_EQ(block[i], expected) << "x = " << std::hexfloat << values[i];
        ASSERT_EQ(decode(c.type, encode(c.type, {values[i]}))[0], expected) << "x = " << std::hexfloat << values[i];
    }
}

INSTANTIATE_TEST_SUITE_P(integer_types, rounding_rule,
                         testing::Values(rule_case{AUDIO_SUN_8, -128, 127, false},
                                         rule_case{AUDIO_WAVE_8, -128, 127, false},
                                         rule_case{AUDIO_AIFF_16, -32768, 32767, false},
                                         rule_case{AUDIO_WAVE_16, -32768, 32767, false},
                                         rule_case{AUDIO_ILS, -32768, 32767, false},
                                         rule_case{AUDIO_SUN_24, -8388608, 8388607, false},
                                         rule_case{AUDIO_WAVE_24, -8388608, 8388607, false},
                                         rule_case{AUDIO_AIFC_32, INT32_MIN, INT32_MAX, true},
                                         rule_case{AUDIO_WAVE_32, INT32_MIN, INT32_MAX, true}),
                         [](const testing::TestParamInfo<rule_case>& info) {
                             return "type_" + std::to_string(info.param.type);
                         });

TEST(codec_table, round_trip_every_integer_value_of_16_bits_in_every_16_bit_type)
{
    std::vector<double> all;
    for (int v = -32768; v <= 32767; ++v)
        all.push_back(v);
    for (int type : {AUDIO_ILS, AUDIO_AIFF_16, AUDIO_AIFC_16, AUDIO_SPW, AUDIO_WAVE_16, AUDIO_SUN_16})
        EXPECT_EQ(decode(type, encode(type, all)), all) << "type " << type;
}

TEST(codec_table, sample_widths_of_the_codec_table)
{
    for (int type = -3; type < AUDIO_TYPE_COUNT + 3; ++type) {
        const audio_header h = header_of(type);
        const sample_codec* codec = sample_codec_for(&h, AUDIO_MODE_WRITE);
        const int bits = get_type_bits(type);
        const bool family = type == AUDIO_AIFF || type == AUDIO_AIFC || type == AUDIO_WAVE || type == AUDIO_SUN;
        if (bits == 0 || family) {
            EXPECT_EQ(codec, nullptr) << "type " << type;
            EXPECT_EQ(audio_sample_bytes(type), 0) << "type " << type;
        } else {
            ASSERT_NE(codec, nullptr) << "type " << type;
            EXPECT_EQ(codec->bytes * 8, bits) << "type " << type;
            EXPECT_EQ(audio_sample_bytes(type), codec->bytes) << "type " << type;
        }
    }
}

// --- frame I/O through a handle --------------------------------------------

// A handle on a stream of raw sample bytes, as if a reader had left the
// stream at its first sample.
audio_file* raw_handle(FILE* stream, audio_header* header, int mode)
{
    auto* file = new audio_file{};
    file->stream = stream;
    file->header = header;
    file->mode = mode;
    file->buffer.reset(new unsigned char[AUDIO_BUFFER_SIZE]);
    return file;
}

FILE* stream_of(const bytes& content)
{
    FILE* f = std::tmpfile();
    if (!content.empty())
        std::fwrite(content.data(), 1, content.size(), f);
    std::rewind(f);
    return f;
}

TEST(frame_io, incomplete_trailing_frame_is_dropped)
{
    audio_header h = header_of(AUDIO_SUN_16, 2);
    audio_file* file = raw_handle(stream_of({0x01, 0x02, 0xFF, 0xFE, 0x7F}), &h, AUDIO_MODE_READ);
    double frame[2] = {};
    ASSERT_EQ(read_audio_frame(frame, file), 0);
    EXPECT_EQ(frame[0], 258.0);
    EXPECT_EQ(frame[1], -2.0);
    frame[0] = frame[1] = 99.0;
    EXPECT_EQ(read_audio_frame(frame, file), -1);
    EXPECT_EQ(frame[0], 99.0);  // the array is left alone at the end
    EXPECT_EQ(frame[1], 99.0);
    EXPECT_EQ(close_audio_file(file), 0);
}

TEST(frame_io, empty_data_ends_at_once)
{
    audio_header h = header_of(AUDIO_WAVE_16, 1);
    audio_file* file = raw_handle(stream_of({}), &h, AUDIO_MODE_READ);
    double frame = 7.0;
    EXPECT_EQ(read_audio_frame(&frame, file), -1);
    EXPECT_EQ(read_audio_frame(&frame, file), -1);
    EXPECT_EQ(frame, 7.0);
    EXPECT_EQ(close_audio_file(file), 0);
}

TEST(frame_io, channel_count_is_taken_at_every_call)
{
    // A stereo stream read as mono gives left and right alternately; read
    // as four channels, two stereo frames at a time.
    bytes data;
    for (int v = 1; v <= 8; ++v) {
        data.push_back(static_cast<unsigned char>(v));
        data.push_back(0);
    }
    audio_header h = header_of(AUDIO_WAVE_16, 1);
    audio_file* file = raw_handle(stream_of(data), &h, AUDIO_MODE_READ);
    std::vector<double> got;
    double frame[4];
    while (read_audio_frame(frame, file) == 0)
        got.push_back(frame[0]);
    EXPECT_EQ(got, (std::vector<double>{1, 2, 3, 4, 5, 6, 7, 8}));
    close_audio_file(file);

    h = header_of(AUDIO_WAVE_16, 2);
    file = raw_handle(stream_of(data), &h, AUDIO_MODE_READ);
    h.channels = 4;
    got.clear();
    while (read_audio_frame(frame, file) == 0)
        got.insert(got.end(), frame, frame + 4);
    EXPECT_EQ(got, (std::vector<double>{1, 2, 3, 4, 5, 6, 7, 8}));
    close_audio_file(file);
}

TEST(frame_io, block_read_stops_at_the_buffer_and_the_data)
{
    audio_header h = header_of(AUDIO_SUN_8, 1);
    audio_file* file = raw_handle(stream_of({1, 2, 3, 4, 5}), &h, AUDIO_MODE_READ);
    double frames[4];
    int got = -1;
    ASSERT_EQ(read_audio_frames(frames, 4, &got, file), 0);
    EXPECT_EQ(got, 4);
    ASSERT_EQ(read_audio_frames(frames, 4, &got, file), 0);
    EXPECT_EQ(got, 1);
    EXPECT_EQ(frames[0], 5.0);
    EXPECT_EQ(read_audio_frames(frames, 4, &got, file), -1);
    EXPECT_EQ(got, 0);
    close_audio_file(file);
}

TEST(frame_io, refill_of_three_channel_24_bit_asks_1048572_bytes)
{
    temp_dir dir;
    const std::string name = dir.file("three.wav");
    audio_header out = header_of(AUDIO_WAVE_24, 3);
    out.frames = 120000;
    audio_file* file = open_audio_file(name.c_str(), "w", &out);
    ASSERT_NE(file, nullptr);
    for (int i = 0; i < 120000; ++i) {
        const double frame[3] = {double(i), double(-i), 7.0};
        ASSERT_EQ(write_audio_frame(frame, file), 0);
    }
    ASSERT_EQ(close_audio_file(file), 0);

    audio_header in{};
    file = open_audio_file(name.c_str(), "r", &in);
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(in.data_offset, 44);
    double frame[3];
    ASSERT_EQ(read_audio_frame(frame, file), 0);
    EXPECT_EQ(file->buffer_frames, 116508);
    EXPECT_EQ(std::ftell(file->stream), 44 + 1048572);
    // The refill that follows the last buffered frame reads on from there.
    int count = 1;
    while (read_audio_frame(frame, file) == 0) {
        ASSERT_EQ(frame[0], double(count)) << "frame " << count;
        ASSERT_EQ(frame[1], double(-count));
        ++count;
    }
    EXPECT_EQ(count, 120000);
    EXPECT_EQ(close_audio_file(file), 0);
}

TEST(frame_io, buffer_is_written_when_the_frame_after_a_full_buffer_arrives)
{
    temp_dir dir;
    const std::string name = dir.file("big.wav");
    audio_header out = header_of(AUDIO_WAVE_16, 2);
    out.frames = 300000;
    audio_file* file = open_audio_file(name.c_str(), "w", &out);
    ASSERT_NE(file, nullptr);
    double frame[2] = {1.0, -1.0};
    for (int i = 1; i <= 262144; ++i)
        ASSERT_EQ(write_audio_frame(frame, file), 0);
    EXPECT_EQ(file->buffer_frames, 262144);
    EXPECT_EQ(file->buffer_index, 262144);
    EXPECT_EQ(std::ftell(file->stream), 44);  // nothing but the header yet
    ASSERT_EQ(write_audio_frame(frame, file), 0);  // frame 262145
    EXPECT_EQ(file->buffer_index, 1);
    EXPECT_EQ(std::ftell(file->stream), 44 + 1048576);
    for (int i = 262146; i <= 300000; ++i)
        ASSERT_EQ(write_audio_frame(frame, file), 0);
    EXPECT_EQ(file->buffer_index, 37856);
    ASSERT_EQ(close_audio_file(file), 0);
    EXPECT_EQ(read_file(name).size(), 44u + 300000u * 4u);
}

TEST(frame_io, block_write_flushes_at_the_same_points)
{
    temp_dir dir;
    const std::string name = dir.file("block.wav");
    audio_header out = header_of(AUDIO_WAVE_16, 2);
    audio_file* file = open_audio_file(name.c_str(), "w", &out);
    ASSERT_NE(file, nullptr);
    std::vector<double> frames(2 * 100000);
    for (size_t i = 0; i < frames.size(); ++i)
        frames[i] = static_cast<double>(static_cast<int>(i % 65536) - 32768);
    for (int round = 0; round < 3; ++round)
        ASSERT_EQ(write_audio_frames(frames.data(), 100000, file), 0);
    EXPECT_EQ(std::ftell(file->stream), 44 + 1048576);
    EXPECT_EQ(file->buffer_index, 300000 - 262144);
    ASSERT_EQ(close_audio_file(file), 0);
    const std::string content = read_file(name);
    ASSERT_EQ(content.size(), 44u + 1200000u);
    for (size_t i = 0; i < 600000; i += 7919) {
        const auto v = static_cast<int16_t>(static_cast<unsigned char>(content[44 + 2 * i]) |
                                            static_cast<unsigned char>(content[45 + 2 * i]) << 8);
        ASSERT_EQ(v, frames[i % frames.size()]) << "sample " << i;
    }
}

TEST(frame_io, a_frame_wider_than_the_buffer_is_refused)
{
    audio_header h = header_of(AUDIO_SUN_D, 131073);  // 8 bytes each: just over 1 MiB
    audio_file* file = raw_handle(stream_of(bytes(16, 0)), &h, AUDIO_MODE_READ);
    std::vector<double> frame(131073);
    EXPECT_EQ(read_audio_frame(frame.data(), file), -1);
    close_audio_file(file);

    audio_file* out = raw_handle(std::tmpfile(), &h, AUDIO_MODE_WRITE);
    EXPECT_EQ(write_audio_frame(frame.data(), out), -1);
    EXPECT_EQ(out->buffer_index, 0);
    EXPECT_EQ(close_audio_file(out), 0);
}

struct refusal_case {
    int type;
    int channels;
};

class refused_header : public testing::TestWithParam<refusal_case> {};

TEST_P(refused_header, frames_are_neither_read_nor_written)
{
    const refusal_case& c = GetParam();
    audio_header h = header_of(c.type, c.channels);
    audio_file* in = raw_handle(stream_of(bytes(64, 0x11)), &h, AUDIO_MODE_READ);
    double frame[4] = {5, 5, 5, 5};
    EXPECT_EQ(read_audio_frame(frame, in), -1);
    EXPECT_EQ(frame[0], 5.0);
    close_audio_file(in);

    FILE* stream = std::tmpfile();
    audio_file* out = raw_handle(stream, &h, AUDIO_MODE_WRITE);
    EXPECT_EQ(write_audio_frame(frame, out), -1);
    EXPECT_EQ(write_audio_frames(frame, 1, out), -1);
    EXPECT_EQ(out->buffer_index, 0);
    EXPECT_EQ(std::ftell(stream), 0);
    EXPECT_EQ(close_audio_file(out), 0);
}

INSTANTIATE_TEST_SUITE_P(no_channels_or_no_codec, refused_header,
                         testing::Values(refusal_case{AUDIO_WAVE_16, 0}, refusal_case{AUDIO_WAVE_16, -1},
                                         refusal_case{AUDIO_SUN_D, INT_MIN}, refusal_case{AUDIO_AIFF, 1},
                                         refusal_case{AUDIO_AIFC, 2}, refusal_case{AUDIO_WAVE, 1},
                                         refusal_case{AUDIO_SUN, 1}, refusal_case{27, 1},
                                         refusal_case{-1, 1}, refusal_case{INT_MAX, 2}),
                         [](const testing::TestParamInfo<refusal_case>& info) {
                             return "case_" + std::to_string(info.index);
                         });

TEST(frame_io, alloc_frame_buffer_refuses_no_channels)
{
    EXPECT_EQ(alloc_frame_buffer(0), nullptr);
    EXPECT_EQ(alloc_frame_buffer(-2), nullptr);
    double* frame = alloc_frame_buffer(3);
    ASSERT_NE(frame, nullptr);
    frame[2] = 1.0;
    std::free(frame);
}

TEST(frame_io, read_on_a_write_handle_is_refused_with_82)
{
    audio_header h = header_of(AUDIO_WAVE_16, 1);
    FILE* stream = std::tmpfile();
    audio_file* file = raw_handle(stream, &h, AUDIO_MODE_WRITE);
    double frame = 0;
    int got = 5;
    testing::internal::CaptureStderr();
    EXPECT_EQ(read_audio_frame(&frame, file), 82);
    EXPECT_EQ(read_audio_frames(&frame, 1, &got, file), 82);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "\nRead attempt at outputfile\nRead attempt at outputfile");
    EXPECT_EQ(got, 0);
    EXPECT_EQ(close_audio_file(file), 0);
}

TEST(frame_io, write_on_a_read_handle_is_refused_with_82)
{
    audio_header h = header_of(AUDIO_WAVE_16, 1);
    FILE* stream = stream_of({1, 2, 3, 4});
    audio_file* file = raw_handle(stream, &h, AUDIO_MODE_READ);
    const double frame = 3.0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(write_audio_frame(&frame, file), 82);
    EXPECT_EQ(write_audio_frames(&frame, 1, file), 82);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "\nWrite attempt at inputfile\nWrite attempt at inputfile");
    EXPECT_EQ(file->buffer_index, 0);
    double back = 0;
    EXPECT_EQ(read_audio_frame(&back, file), 0);  // the data are untouched
    EXPECT_EQ(back, 513.0);
    EXPECT_EQ(close_audio_file(file), 0);
}

TEST(frame_io, update_handles_read_only_what_is_asked_and_write_in_place)
{
    temp_dir dir;
    const std::string name = dir.file("raw");
    write_file(name, std::string("\x01\x02\x03\x04\x05\x06", 6));
    audio_header h = header_of(AUDIO_SUN_16, 1);
    audio_file* file = raw_handle(std::fopen(name.c_str(), "rb+"), &h, AUDIO_MODE_UPDATE);
    double frame = 0;
    ASSERT_EQ(read_audio_frame(&frame, file), 0);
    EXPECT_EQ(frame, 258.0);
    frame = -2;
    ASSERT_EQ(write_audio_frame(&frame, file), 0);  // lands right after the frame read
    ASSERT_EQ(read_audio_frame(&frame, file), 0);
    EXPECT_EQ(frame, 1286.0);
    EXPECT_EQ(read_audio_frame(&frame, file), -1);
    EXPECT_EQ(close_audio_file(file), 0);
    EXPECT_EQ(read_file(name), std::string("\x01\x02\xFF\xFE\x05\x06", 6));
}

TEST(frame_io, a_lost_flush_fails_the_write_and_the_close)
{
    FILE* full = std::fopen("/dev/full", "wb");
    if (full == nullptr)
        GTEST_SKIP() << "/dev/full is not available";
    audio_header h = header_of(AUDIO_WAVE_16, 1);
    audio_file* file = raw_handle(full, &h, AUDIO_MODE_WRITE);
    const double frame = 1.0;
    const int capacity = AUDIO_BUFFER_SIZE / 2;
    for (int i = 0; i < capacity; ++i)
        ASSERT_EQ(write_audio_frame(&frame, file), 0);
    EXPECT_EQ(write_audio_frame(&frame, file), -1);  // the flush was lost
    EXPECT_EQ(write_audio_frame(&frame, file), -1);  // and stays so
    testing::internal::CaptureStderr();
    EXPECT_EQ(close_audio_file(file), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "\nError closing file");
}

}  // namespace

namespace {

TEST(frame_io, copy_of_frames_with_no_channels_copies_nothing)
{
    // Both sides alike, nothing scaled: the byte path must still refuse a
    // frame of no bytes instead of dividing by it.
    temp_dir dir;
    const std::string name = dir.file("in.wav");
    audio_header out = header_of(AUDIO_WAVE_16, 2);
    audio_file* file = open_audio_file(name.c_str(), "w", &out);
    ASSERT_NE(file, nullptr);
    const double frame[2] = {1.0, 2.0};
    ASSERT_EQ(write_audio_frame(frame, file), 0);
    ASSERT_EQ(close_audio_file(file), 0);

    audio_header in{};
    audio_file* input = open_audio_file(name.c_str(), "r", &in);
    ASSERT_NE(input, nullptr);
    in.channels = 0;
    audio_header copy = in;
    audio_file* output = open_audio_file(dir.file("out.wav").c_str(), "w", &copy);
    ASSERT_NE(output, nullptr);
    int64_t copied = 0;
    EXPECT_EQ(copy_audio_frames(input, output, 1.0, &copied), 0);
    EXPECT_EQ(copied, 0);
    close_audio_file(input);
    close_audio_file(output);
}

}  // namespace

namespace {

// Frames of an integer type copied into another type, scaled by 2^shift:
// the integer path of copy_audio_frames must give the bytes the frame
// functions give through doubles, into float and double samples too.
std::string copy_by(int from, int to, double factor, bool through_doubles, const std::vector<double>& values)
{
    temp_dir dir;
    const std::string source = dir.file("in.x");
    audio_header h = header_of(from, 2);
    audio_file* file = open_audio_file(source.c_str(), "w", &h);
    EXPECT_NE(file, nullptr);
    EXPECT_EQ(write_audio_frames(values.data(), static_cast<int>(values.size() / 2), file), 0);
    EXPECT_EQ(close_audio_file(file), 0);

    audio_header in{};
    audio_file* input = open_audio_file(source.c_str(), "r", &in);
    EXPECT_NE(input, nullptr);
    audio_header out = in;
    out.type = to;
    const std::string target = dir.file("out.x");
    audio_file* output = open_audio_file(target.c_str(), "w", &out);
    EXPECT_NE(output, nullptr);
    int64_t copied = 0;
    if (through_doubles) {
        double frame[2];
        while (read_audio_frame(frame, input) == 0) {
            frame[0] *= factor;
            frame[1] *= factor;
            EXPECT_EQ(write_audio_frame(frame, output), 0);
            ++copied;
        }
    } else {
        EXPECT_EQ(copy_audio_frames(input, output, factor, &copied), 0);
    }
    EXPECT_EQ(copied, static_cast<int64_t>(values.size() / 2));
    close_audio_file(input);
    EXPECT_EQ(close_audio_file(output), 0);
    return read_file(target);
}

TEST(frame_io, integer_copies_scaled_by_powers_of_two_equal_the_double_path)
{
    const int types[] = {AUDIO_WAVE_8, AUDIO_WAVE_16, AUDIO_WAVE_24, AUDIO_WAVE_32,
                         AUDIO_AIFF_8, AUDIO_AIFF_16, AUDIO_AIFF_24, AUDIO_AIFF_32, AUDIO_ILS};
    for (const int from : types) {
        // Limits, their neighbours, and values whose scaled halves must round up.
        const double top = std::ldexp(1.0, get_type_bits(from) - 1);
        std::vector<double> values{-top, top - 1, -top + 1, 0, 1, -1, 2, -2, 127, -128, 128, -129, 32767, -32768,
                                   8388607, -8388608, 12345678, -12345678, 0x40000000, -0x40000001};
        for (double& v : values)
            v = std::clamp(v, -top, top - 1);
        for (const int to : {AUDIO_WAVE_8, AUDIO_WAVE_16, AUDIO_WAVE_24, AUDIO_WAVE_32, AUDIO_AIFF_8, AUDIO_AIFF_16,
                             AUDIO_AIFF_24, AUDIO_AIFF_32, AUDIO_ILS, AUDIO_SUN_F, AUDIO_ILS_F, AUDIO_SUN_D, AUDIO_SPW_D})
            for (const int shift : {-31, -24, -17, -16, -8, -1, 0, 1, 8, 15, 16, 24, 31}) {
                const double factor = std::ldexp(1.0, shift);
                EXPECT_EQ(copy_by(from, to, factor, false, values), copy_by(from, to, factor, true, values))
                    << from << " -> " << to << " shift " << shift;
            }
    }
    // Across many buffer refills and flushes of both handles.
    std::mt19937 random(7);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    std::vector<double> many(2 * 300000);
    for (double& v : many)
        v = sample(random);
    EXPECT_EQ(copy_by(AUDIO_WAVE_16, AUDIO_AIFF_24, 256.0, false, many), copy_by(AUDIO_WAVE_16, AUDIO_AIFF_24, 256.0, true, many));
    EXPECT_EQ(copy_by(AUDIO_WAVE_16, AUDIO_SUN_F, 0x1p-15, false, many), copy_by(AUDIO_WAVE_16, AUDIO_SUN_F, 0x1p-15, true, many));
}

}  // namespace

namespace {

TEST(frame_io, integer_frames_encode_as_the_same_values_held_as_doubles)
{
    const std::vector<int32_t> values{INT32_MIN, INT32_MAX, -8388609, 8388608, -32769, 32768, -129, 128,
                                      -128,      127,       -1,       0,       1,      12345, -54321, 0x7FFFFF};
    std::vector<double> doubles(values.begin(), values.end());
    for (int type = 0; type < AUDIO_TYPE_COUNT; ++type) {
        if (audio_sample_bytes(type) == 0)
            continue;
        temp_dir dir;
        std::string written[2];
        for (int integers = 0; integers < 2; ++integers) {
            const std::string name = dir.file(integers ? "i.x" : "d.x");
            audio_header h = header_of(type, 2);
            audio_file* file = open_audio_file(name.c_str(), "w", &h);
            ASSERT_NE(file, nullptr);
            const int frames = static_cast<int>(values.size() / 2);
            ASSERT_EQ(integers ? write_audio_integers(values.data(), frames, file)
                               : write_audio_frames(doubles.data(), frames, file),
                      0);
            ASSERT_EQ(close_audio_file(file), 0);
            written[integers] = read_file(name);
        }
        EXPECT_EQ(written[1], written[0]) << "type " << type;
    }
}

}  // namespace

namespace {

// 24-bit samples packed in blocks of every length around the vector width,
// against bytes laid out one by one here.
TEST(frame_io, twenty_four_bit_blocks_of_every_length_pack_byte_for_byte)
{
    std::mt19937 random(24);
    std::uniform_int_distribution<int32_t> sample(-8388608, 8388607);
    for (const int type : {AUDIO_WAVE_24, AUDIO_AIFF_24}) {
        const bool big = type == AUDIO_AIFF_24;
        for (int frames = 0; frames <= 70; ++frames) {
            std::vector<int32_t> values(static_cast<size_t>(frames));
            std::string expected;
            for (int32_t& v : values) {
                v = sample(random);
                const auto u = static_cast<uint32_t>(v);
                const char b[3] = {static_cast<char>(u), static_cast<char>(u >> 8), static_cast<char>(u >> 16)};
                expected += big ? std::string{b[2], b[1], b[0]} : std::string{b[0], b[1], b[2]};
            }
            temp_dir dir;
            const std::string name = dir.file("p.x");
            audio_header h = header_of(type, 1);
            audio_file* file = open_audio_file(name.c_str(), "w", &h);
            ASSERT_NE(file, nullptr);
            ASSERT_EQ(write_audio_integers(values.data(), frames, file), 0);
            ASSERT_EQ(close_audio_file(file), 0);
            const std::string bytes = read_file(name);
            ASSERT_GE(bytes.size(), expected.size());
            EXPECT_EQ(bytes.substr(bytes.size() - expected.size()), expected) << type << ", " << frames << " frames";
        }
    }
}

}  // namespace
