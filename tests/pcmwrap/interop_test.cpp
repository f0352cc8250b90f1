// pcmwrap's WAVE, AIFF, AIFC and SUN files as sox and libsndfile read them.
#include "run.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

std::string raw_ramp(int bytes, int samples)
{
    const int64_t top = (int64_t{1} << (8 * bytes - 1)) - 1;
    std::string s;
    for (int i = 0; i < samples; ++i) {
        // Both extremes first, then values spread over the whole range.
        const int64_t v = i == 0 ? -top - 1 : i == 1 ? top : (top / samples) * (2 * i - samples) + i;
        for (int b = 0; b < bytes; ++b)
            s.push_back(static_cast<char>(static_cast<uint64_t>(v) >> (8 * b)));
    }
    return s;
}

struct peer_case {
    const char* type;
    const char* suffix;
    int bytes;
};

const peer_case cases[] = {
    {"wave_8", "wav", 1},  {"wave", "wav", 2},     {"wave_24", "wav", 3},  {"wave_32", "wav", 4},
    {"aiff_8", "aiff", 1}, {"aiff", "aiff", 2},    {"aiff_24", "aiff", 3}, {"aiff_32", "aiff", 4},
    {"aifc_8", "aifc", 1}, {"aifc", "aifc", 2},    {"aifc_24", "aifc", 3}, {"aifc_32", "aifc", 4},
    {"sun_8", "au", 1},    {"sun", "au", 2},       {"sun_24", "au", 3},    {"sun_32", "au", 4},
};

const char* const sox_raw[] = {"s8", "s16", "s24", "s32"};
const char* const sndfile_encoding[] = {"-pcms8", "-pcm16", "-pcm24", "-pcm32"};

std::string wrap(const temp_dir& dir, const peer_case& c, const std::string& samples)
{
    write_file(dir.file("in.raw"), samples);
    const std::string out = dir.file(std::string("out.") + c.suffix);
    const run_result w =
        run_tool("pcmwrap", {"-b", std::to_string(c.bytes), "-c", "3", "-s", "11025", "-t", c.type, "-o", out, dir.file("in.raw")});
    EXPECT_EQ(w.status, 0) << w.err;
    return out;
}

TEST(pcmwrap_interop, sox_reads_the_values)
{
    REQUIRE_PEER("sox");
    temp_dir dir;
    for (const peer_case& c : cases) {
        SCOPED_TRACE(c.type);
        const std::string samples = raw_ramp(c.bytes, 3 * 40);
        const std::string out = wrap(dir, c, samples);
        const run_result values = run_command({"sox", out, "-t", sox_raw[c.bytes - 1], "-"});
        EXPECT_EQ(values.status, 0) << values.err;
        EXPECT_TRUE(values.out == samples) << values.out.size() << " bytes of " << samples.size();
        EXPECT_EQ(run_command({"soxi", "-c", out}).out, "3\n");
        EXPECT_EQ(run_command({"soxi", "-r", out}).out, "11025\n");
        EXPECT_EQ(run_command({"soxi", "-s", out}).out, "40\n");
    }
}

TEST(pcmwrap_interop, libsndfile_reads_the_values)
{
    REQUIRE_PEER("sndfile-convert");
    REQUIRE_PEER("sndfile-info");
    temp_dir dir;
    for (const peer_case& c : cases) {
        SCOPED_TRACE(c.type);
        const std::string samples = raw_ramp(c.bytes, 3 * 40);
        const std::string out = wrap(dir, c, samples);
        const std::string back = dir.file("back.raw");
        const run_result convert =
            run_command({"sndfile-convert", "-endian=little", sndfile_encoding[c.bytes - 1], out, back});
        EXPECT_EQ(convert.status, 0) << convert.out << convert.err;
        EXPECT_TRUE(read_file(back) == samples) << read_file(back).size() << " bytes of " << samples.size();
        const run_result info = run_command({"sndfile-info", out});
        EXPECT_NE(info.out.find("Frames      : 40\n"), std::string::npos) << info.out;
        EXPECT_NE(info.out.find("Channels    : 3\n"), std::string::npos) << info.out;
        EXPECT_NE(info.out.find("Sample Rate : 11025\n"), std::string::npos) << info.out;
    }
}

}  // namespace
