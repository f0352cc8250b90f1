// Files cut short at every byte offset of their header (and a little into
// the data behind it): every audio family through the programs that read
// it, and every bitstream kind through its cutter or burstpick.  Each run
// must give a defined answer: status 0, or 1 with a message; no signal and
// no sanitizer report.  Where the header is whole the answer is success.
#include "fault_inputs.h"
#include "run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

namespace {

struct family {
    const char* type;       // tonesmith's type name
    size_t sample_bytes;    // per sample
    bool header_required;   // a cut inside the header is an error (SPW's text header ends anywhere)
    bool burst_carrier;     // a 16-bit type burstpick reads
};

const std::vector<family> families{
    {"wave_16", 2, true, true}, {"sun_16", 2, true, true}, {"aiff_16", 2, true, true},
    {"aifc_16", 2, true, true}, {"spw", 2, false, false},  {"ils", 2, true, false},
};

constexpr int FRAMES = 4;
constexpr int CHANNELS = 2;

std::string cut_name(const temp_dir& dir, size_t offset) { return dir.file("cut" + std::to_string(offset)); }

void PrintTo(const family& f, std::ostream* os) { *os << f.type; }

class truncated_audio : public ::testing::TestWithParam<family> {};

TEST_P(truncated_audio, every_offset)
{
    const family& f = GetParam();
    temp_dir dir;
    const std::string full_name = dir.file("full");
    const run_result made = run_tool("tonesmith", {"-c", std::to_string(CHANNELS), "-f", "8000", "-n",
                                                   std::to_string(FRAMES), "-t", f.type, full_name});
    ASSERT_EQ(made.status, 0) << made.err;
    const std::string full = read_file(full_name);
    // SPW stores one signal: its samples are all there, only counted apart.
    const size_t data = FRAMES * CHANNELS * f.sample_bytes;
    ASSERT_GT(full.size(), data);
    const size_t header = full.size() - data;
    const std::string out = dir.file("out");

    for (size_t offset = 0; offset <= header + CHANNELS * f.sample_bytes + 1; ++offset) {
        SCOPED_TRACE(std::string(f.type) + " cut at " + std::to_string(offset) + " of a header of " +
                     std::to_string(header));
        const std::string cut = cut_name(dir, offset);
        write_file(cut, full.substr(0, offset));

        const run_result converted = run_tool("sonomorph", {"-o", out, cut});
        expect_defined(converted);
        if (offset >= header) {
            EXPECT_EQ(converted.status, 0);
        } else if (f.header_required) {
            EXPECT_EQ(converted.status, 1);
        }

        // The other readers go over the short binary headers byte by byte.
        if (offset <= 100 || offset >= header) {
            expect_defined(run_tool("pcmpeel", {"-o", out, cut}));
            if (f.burst_carrier)
                expect_defined(run_tool("burstpick", {"-o", out, cut}));
        }
        std::remove(cut.c_str());
    }
}

INSTANTIATE_TEST_SUITE_P(faults, truncated_audio, ::testing::ValuesIn(families),
                         [](const ::testing::TestParamInfo<family>& info) { return std::string(info.param.type); });

struct bitstream_kind {
    const char* name;
    std::string bytes;
    size_t first_frame;  // bytes of the first frame: the cuts go a little beyond
    std::vector<std::string> command;  // IN and OUT stand for the files
};

std::vector<bitstream_kind> kinds()
{
    return {
        {"mpeg_audio", layer1_frames(3), LAYER1_FRAME_BYTES, {"framesnip", "-a", "-l", "-u", "-i", "IN", "-o", "OUT"}},
        {"mpeg_audio_verbose", layer1_frames(3), LAYER1_FRAME_BYTES, {"framesnip", "-v", "-i", "IN", "-o", "OUT"}},
        {"extension", extension_frames(3), EXTENSION_FRAME_BYTES, {"chunksnip", "-a", "-l", "-u", "-i", "IN", "-o", "OUT"}},
        {"iec61937", wave_16_stereo(iec_bursts()), WAVE_HEADER_BYTES + IEC_BURST_BYTES,
         {"burstpick", "-v", "-u", "-o", "OUT", "IN"}},
    };
}

void PrintTo(const bitstream_kind& k, std::ostream* os) { *os << k.name; }

class truncated_bitstream : public ::testing::TestWithParam<bitstream_kind> {};

TEST_P(truncated_bitstream, every_offset)
{
    const bitstream_kind& kind = GetParam();
    temp_dir dir;
    for (size_t offset = 0; offset <= kind.first_frame + 6; ++offset) {
        SCOPED_TRACE(std::string(kind.name) + " cut at " + std::to_string(offset));
        const std::string cut = cut_name(dir, offset);
        write_file(cut, kind.bytes.substr(0, offset));
        std::vector<std::string> args(kind.command.begin() + 1, kind.command.end());
        for (std::string& a : args)
            a = a == "IN" ? cut : a == "OUT" ? dir.file("out") : a;
        expect_defined(run_tool(kind.command.front(), args));
        std::remove(cut.c_str());
    }
}

INSTANTIATE_TEST_SUITE_P(faults, truncated_bitstream, ::testing::ValuesIn(kinds()),
                         [](const ::testing::TestParamInfo<bitstream_kind>& info) { return std::string(info.param.name); });

}  // namespace
