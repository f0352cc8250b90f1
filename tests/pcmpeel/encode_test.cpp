// The raw sample converter: floor(x + 0.5), low bytes, least significant
// first, with no clipping; the exact slow path for values no integer sample
// holds must give the same results as the fast one.
#include "pcmpeel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

struct encode_case {
    int bytes;
    double value;
    std::string expected;
};

std::string encode(int bytes, const std::vector<double>& values)
{
    std::string out(values.size() * static_cast<size_t>(bytes), '\x55');
    raw_encoder_for(bytes)(values.data(), reinterpret_cast<unsigned char*>(out.data()), values.size());
    return out;
}

const double nan = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();

const encode_case cases[] = {
    {2, 300.0, std::string("\x2C\x01", 2)},
    {1, 300.0, "\x2C"},  // 300 mod 256
    {1, -1.0, "\xFF"},
    {3, -2.0, "\xFE\xFF\xFF"},
    {4, -2147483648.0, std::string("\x00\x00\x00\x80", 4)},
    {4, 2147483647.0, "\xFF\xFF\xFF\x7F"},
    {2, 70000.0, "\x70\x11"},  // no clipping: the low 16 bits of 70000
    {2, 0.5, std::string("\x01\x00", 2)},
    {2, -0.5, std::string("\x00\x00", 2)},
    {2, -1.5, "\xFF\xFF"},
    {2, 2.5, std::string("\x03\x00", 2)},
    {2, -0.7, "\xFF\xFF"},  // floor(-0.2)
    {2, -1e-300, std::string("\x00\x00", 2)},
    {1, 0.49999999999999994, "\x01"},  // x + 0.5 rounds to 1.0 in double
    // Beyond the 32-bit range the low bytes of the 64-bit integer are kept.
    {4, 4294967301.0, std::string("\x05\x00\x00\x00", 4)},
    {4, 2147483648.0, std::string("\x00\x00\x00\x80", 4)},
    {2, -2147483649.0, "\xFF\xFF"},
    {4, nan, std::string(4, '\0')},
    {4, inf, std::string(4, '\0')},
    {4, -inf, std::string(4, '\0')},
    {4, 1e300, std::string(4, '\0')},
};

TEST(pcmpeel_encoder, single_values)
{
    for (const encode_case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bytes << " bytes, value " << c.value);
        EXPECT_EQ(encode(c.bytes, {c.value}), c.expected);
    }
}

// A block holding one value outside the 32-bit range goes the exact way;
// every other value in it must come out as it would alone.
TEST(pcmpeel_encoder, block_results_do_not_depend_on_neighbours)
{
    for (int bytes = 1; bytes <= 4; ++bytes) {
        std::vector<double> values;
        std::string alone;
        for (const encode_case& c : cases) {
            values.push_back(c.value);
            alone += encode(bytes, {c.value});
        }
        EXPECT_EQ(encode(bytes, values), alone) << bytes << " bytes";
        values.resize(13);  // only values of the 32-bit range
        EXPECT_EQ(encode(bytes, values), alone.substr(0, 13 * static_cast<size_t>(bytes))) << bytes << " bytes";
    }
}

TEST(pcmpeel_encoder, only_one_to_four_bytes)
{
    EXPECT_EQ(raw_encoder_for(0), nullptr);
    EXPECT_EQ(raw_encoder_for(5), nullptr);
    EXPECT_EQ(raw_encoder_for(-1), nullptr);
    for (int bytes = 1; bytes <= 4; ++bytes)
        EXPECT_NE(raw_encoder_for(bytes), nullptr);
}

}  // namespace
