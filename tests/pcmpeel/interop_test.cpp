// pcmpeel on files that sox made: the same bytes as sox's own raw output.
#include "run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct sox_file {
    const char* name;  // the suffix tells sox the format
    int bits;
    const char* encoding;
};

const sox_file files[] = {
    {"s8.wav", 8, "unsigned-integer"},  {"s16.wav", 16, "signed-integer"},  {"s24.wav", 24, "signed-integer"},
    {"s32.wav", 32, "signed-integer"},  {"s8.aiff", 8, "signed-integer"},   {"s16.aiff", 16, "signed-integer"},
    {"s24.aiff", 24, "signed-integer"}, {"s32.aiff", 32, "signed-integer"}, {"s8.aifc", 8, "signed-integer"},
    {"s16.aifc", 16, "signed-integer"}, {"s24.aifc", 24, "signed-integer"}, {"s32.aifc", 32, "signed-integer"},
    {"s8.au", 8, "signed-integer"},     {"s16.au", 16, "signed-integer"},   {"s24.au", 24, "signed-integer"},
    {"s32.au", 32, "signed-integer"},   {"s16c3.wav", 16, "signed-integer"},
};

TEST(pcmpeel_interop, gives_the_bytes_sox_gives)
{
    REQUIRE_PEER("sox");
    temp_dir dir;
    for (const sox_file& f : files) {
        SCOPED_TRACE(f.name);
        const std::string path = dir.file(f.name);
        const std::string channels = std::string(f.name).find("c3") != std::string::npos ? "3" : "2";
        const run_result made = run_command({"sox", "-n", "-r", "8000", "-c", channels, "-b", std::to_string(f.bits), "-e",
                                             f.encoding, path, "synth", "0.05", "sine", "300", "sine", "500", "sine", "700"});
        ASSERT_EQ(made.status, 0) << made.err;
        const std::string width = std::to_string(f.bits / 8);
        const std::string raw_type = f.bits == 8 ? "s8" : f.bits == 16 ? "s16" : f.bits == 24 ? "s24" : "s32";
        const run_result sox = run_command({"sox", path, "-t", raw_type, "-"});
        ASSERT_EQ(sox.status, 0) << sox.err;
        const run_result ours = run_tool("pcmpeel", {"-b", width, path});
        EXPECT_EQ(ours.status, 0);
        EXPECT_EQ(ours.err, "");
        EXPECT_TRUE(ours.out == sox.out) << ours.out.size() << " bytes, sox " << sox.out.size();
        const run_result piped = run_tool("pcmpeel", {"-b", width}, read_file(path));
        EXPECT_TRUE(piped.out == sox.out) << "from standard input: " << piped.out.size() << " bytes";
        if (f.bits == 16) {
            // A slice, as sox trims it.
            const run_result trimmed = run_command({"sox", path, "-t", "s16", "-", "trim", "100s", "50s"});
            const run_result range = run_tool("pcmpeel", {"-f", "100", "-t", "150", path});
            EXPECT_TRUE(range.out == trimmed.out) << range.out.size() << " bytes, sox " << trimmed.out.size();
        }
    }
}

// Float samples of -1.0 to 1.0 keep their integer values: -1, 0 and 1.
TEST(pcmpeel_interop, float_samples_give_their_integer_values)
{
    REQUIRE_PEER("sox");
    temp_dir dir;
    const std::string path = dir.file("f.au");
    const run_result made = run_command({"sox", "-n", "-r", "8000", "-c", "1", "-b", "32", "-e", "floating-point", path,
                                         "synth", "0.05", "sine", "300"});
    ASSERT_EQ(made.status, 0) << made.err;
    const run_result r = run_tool("pcmpeel", {path});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.out.size(), 800u);
    std::vector<int> seen(3, 0);
    for (size_t i = 0; i < r.out.size(); i += 2) {
        const auto v = static_cast<int16_t>(static_cast<unsigned char>(r.out[i]) | static_cast<unsigned char>(r.out[i + 1]) << 8);
        ASSERT_TRUE(v >= -1 && v <= 1) << v;
        ++seen[static_cast<size_t>(v + 1)];
    }
    EXPECT_GT(seen[0], 0);
    EXPECT_GT(seen[1], 0);
    EXPECT_GT(seen[2], 0);
}

}  // namespace
