// pcmpeel run as a user runs it: exact output bytes, messages and statuses.
#include "audio_helpers.h"
#include "byteorder.h"
#include "run.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// A plain WAVE file; stated is the data size its header gives.
std::string wave(int channels, int bits, const std::string& data, int64_t stated = -1)
{
    const uint32_t size = stated < 0 ? static_cast<uint32_t>(data.size()) : static_cast<uint32_t>(stated);
    const int block = channels * bits / 8;
    return "RIFF" + le(36 + size, 4) + "WAVE" + "fmt " + le(16, 4) + le(1, 2) + le(channels, 2) + le(8000, 4) +
           le(8000 * block, 4) + le(block, 2) + le(bits, 2) + "data" + le(size, 4) + data;
}

bool ends_with(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

const std::string usage = "\nUsage:pcmpeel [-bbytes] [-ooutputfile] audiofile\n";
const std::string first_error = "\nError: First sample exceeds number of samples\n";
const std::string last_error = "\nError: Last sample exceeds number of samples\n";
const std::string bytes_error = "Error only 1..4 bytes per sample supported\n";

TEST(pcmpeel, writes_every_sample_little_endian_in_channel_order)
{
    temp_dir dir;
    const std::string samples = raw({1, -2, 300, -32768, 32767, 0}, 2);
    write_file(dir.file("in.wav"), wave(2, 16, samples));
    const run_result r = run_tool("pcmpeel", {dir.file("in.wav")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, samples);
}

struct width_case {
    int bits;  // of the WAVE input
    std::string data;
    const char* bytes;
    std::string expected;
};

TEST(pcmpeel, keeps_the_low_bytes_of_each_value)
{
    const width_case cases[] = {
        {16, raw({300, -1}, 2), "1", "\x2C\xFF"},
        {24, raw({-2, 8388607}, 3), "3", raw({-2, 8388607}, 3)},
        {16, raw({-2, 32767}, 2), "4", raw({-2, 32767}, 4)},
        {32, raw({-2147483648LL, 65537}, 4), "2", raw({0, 1}, 2)},
        {8, std::string("\x00\xFF\x80", 3), "2", raw({-128, 127, 0}, 2)},  // WAVE bytes are excess 128
        {16, raw({-32768, 1}, 2), "3", raw({-32768, 1}, 3)},
    };
    temp_dir dir;
    for (const width_case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << "-bit input, -b " << c.bytes);
        write_file(dir.file("in.wav"), wave(1, c.bits, c.data));
        const run_result r = run_tool("pcmpeel", {"-b", c.bytes, dir.file("in.wav")});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, c.expected);
    }
}

// How the input reaches the program: by name (seeking), on standard input
// (reading), or by name through a FIFO (which cannot seek).
enum class via { name, pipe, fifo };

run_result peel(via how, const temp_dir& dir, const std::string& file, std::vector<std::string> args)
{
    if (how == via::pipe)
        return run_tool("pcmpeel", args, read_file(file));
    if (how == via::name) {
        args.push_back(file);
        return run_tool("pcmpeel", args);
    }
    const std::string fifo = dir.file("fifo");
    unlink(fifo.c_str());
    mkfifo(fifo.c_str(), 0600);
    std::string command = "cat '" + file + "' > '" + fifo + "' & pcmpeel";
    for (const std::string& a : args)
        command += " '" + a + "'";
    return run_shell(command + " '" + fifo + "'; status=$?; wait; exit $status");
}

struct range_case {
    std::vector<std::string> args;
    std::vector<int64_t> expected;  // frame values written
    int status;
    std::string err;
};

TEST(pcmpeel, writes_the_frames_of_a_range)
{
    const range_case cases[] = {
        {{}, {0, 1, 2, 3, 4, 5}, 0, ""},
        {{"-f", "2", "-t", "4"}, {2, 3}, 0, ""},
        {{"-f", "5"}, {5}, 0, ""},
        {{"-f", "6"}, {}, 0, ""},  // first equal to the count
        {{"-t", "6"}, {0, 1, 2, 3, 4, 5}, 0, ""},
        {{"-f", "4", "-t", "2"}, {}, 0, ""},
        {{"-t", "0"}, {}, 0, ""},
        {{"-f", "-3", "-t", "2"}, {0, 1}, 0, ""},  // nothing lies before frame 0
        {{"-f", "7"}, {}, 1, first_error},
        {{"-t", "7"}, {}, 1, last_error},
        {{"-f", "7", "-t", "9"}, {}, 1, first_error},
    };
    temp_dir dir;
    write_file(dir.file("in.wav"), wave(1, 16, raw({0, 1, 2, 3, 4, 5}, 2)));
    for (via how : {via::name, via::pipe, via::fifo}) {
        for (const range_case& c : cases) {
            SCOPED_TRACE(testing::Message() << "via " << static_cast<int>(how) << ", args "
                                            << testing::PrintToString(c.args));
            const run_result r = peel(how, dir, dir.file("in.wav"), c.args);
            EXPECT_EQ(r.status, c.status);
            EXPECT_EQ(r.err, c.err);
            EXPECT_EQ(r.out, raw(c.expected, 2));
        }
    }
}

// Ranges that cross the library's 1 MiB buffer, skipped by seeking, by
// reading standard input and by reading a FIFO: all give the same bytes.
TEST(pcmpeel, skips_across_buffer_refills_by_any_way)
{
    temp_dir dir;
    std::vector<int64_t> values;
    for (int64_t i = 0; i < 2 * 300000; ++i)
        values.push_back(i * 7 % 65536 - 32768);
    const std::string samples = raw(values, 2);
    write_file(dir.file("in.wav"), wave(2, 16, samples));
    const std::string expected = samples.substr(4 * 262150, 4 * (299990 - 262150));
    for (via how : {via::name, via::pipe, via::fifo}) {
        const run_result r = peel(how, dir, dir.file("in.wav"), {"-f", "262150", "-t", "299990"});
        EXPECT_EQ(r.status, 0) << static_cast<int>(how);
        EXPECT_TRUE(r.out == expected) << "via " << static_cast<int>(how) << ": " << r.out.size() << " bytes";
    }
    // Standard input by its magic name, a file whose position does not start
    // at 0: read, not sought, since the header's offsets count from there.
    write_file(dir.file("junk+in.wav"), "1234567" + read_file(dir.file("in.wav")));
    const run_result redirected = run_shell("(dd bs=7 count=1 of=/dev/null 2>/dev/null; pcmpeel -f 262150 -t 299990 "
                                            "AUDIO_FROM_STDIN) < '" + dir.file("junk+in.wav") + "'");
    EXPECT_EQ(redirected.status, 0);
    EXPECT_TRUE(redirected.out == expected) << redirected.out.size() << " bytes";
}

// Samples stored as the raw samples asked for move unconverted: in the
// kernel from file to file, from the frames left in the buffer on, and
// through a buffer from standard input; a range may start or end anywhere,
// and the data end where the header says.
TEST(pcmpeel, unconverted_ranges_by_every_way)
{
    temp_dir dir;
    const std::string in = dir.file("in.wav"), out = dir.file("out.raw");
    for (const int bits : {16, 24, 32}) {
        const int width = bits / 8;
        std::vector<int64_t> values;
        for (int64_t i = 0; i < 2 * 300000; ++i)
            values.push_back((i * 7919) % (int64_t{1} << (bits - 1)) - (i % 3 == 0 ? int64_t{1} << (bits - 2) : 0));
        const std::string samples = raw(values, width);
        write_file(in, wave(2, bits, samples) + "LIST" + le(4, 4) + "tags");
        for (const auto& [first, end] : {std::pair<int64_t, int64_t>{0, 300000}, {262150, 299990}, {5, 6}, {299999, 300000}}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, frames " << first << " to " << end);
            const std::string expected = samples.substr(static_cast<size_t>(first * 2 * width), static_cast<size_t>((end - first) * 2 * width));
            const std::string range = " -b " + std::to_string(width) + " -f " + std::to_string(first) + " -t " + std::to_string(end);
            for (const std::string& command : {"pcmpeel" + range + " -o '" + out + "' '" + in + "'",
                                               "pcmpeel" + range + " < '" + in + "' > '" + out + "'",
                                               "cat '" + in + "' | pcmpeel" + range + " > '" + out + "'"}) {
                const run_result r = run_shell(command);
                EXPECT_EQ(r.status, 0) << command << r.err;
                EXPECT_TRUE(read_file(out) == expected) << command << ": " << read_file(out).size() << " bytes";
            }
        }
    }
}

TEST(pcmpeel, default_end_is_the_header_count)
{
    temp_dir dir;
    // The header states 4 frames; two more follow the data chunk.
    write_file(dir.file("in.wav"), wave(1, 16, raw({10, 11, 12, 13, 14, 15}, 2), 8));
    for (via how : {via::name, via::pipe}) {
        const run_result r = peel(how, dir, dir.file("in.wav"), {"-f", "1"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, raw({11, 12, 13}, 2));
    }
}

// Files of 2^31 frames and more keep all their frames: counts, ranges and
// seeks work in 64 bits, and a size field of all ones counts the file.  The
// files are sparse, so they cost no disk space.
struct deep_case {
    const char* name;
    std::string header;
    int64_t data_bytes;  // behind the header
    int64_t frames;      // in the file
    std::string last;    // what -b 1 gives for the last two frames
    uint32_t sun_size;   // the size sonomorph's SUN header gives them
};

std::string sun_8_unknown_size() { return ".snd" + std::string("\0\0\0\x18\xFF\xFF\xFF\xFF\0\0\0\x02\0\0\x1F\x40\0\0\0\x01", 20); }

class pcmpeel_deep : public testing::TestWithParam<deep_case> {};

TEST_P(pcmpeel_deep, ranges_reach_every_frame)
{
    const deep_case& c = GetParam();
    temp_dir dir;
    const std::string in = dir.file("big");
    write_file(in, c.header);
    ASSERT_EQ(truncate(in.c_str(), static_cast<off_t>(c.header.size()) + c.data_bytes), 0);
    const run_result r = run_tool("pcmpeel", {"-b", "1", "-f", std::to_string(c.frames - 2), in});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, c.last);
    const run_result end = run_tool("pcmpeel", {"-f", std::to_string(c.frames), in});
    EXPECT_EQ(end.status, 0);
    EXPECT_EQ(end.out, "");
    const run_result past = run_tool("pcmpeel", {"-t", std::to_string(c.frames + 1), in});
    EXPECT_EQ(past.status, 1);
    EXPECT_EQ(past.err, last_error);
    // The count goes on into the header of a conversion.
    run_shell("sonomorph -t sun_8 '" + in + "' | head -c 24 > '" + dir.file("head") + "'");
    const std::string head = read_file(dir.file("head"));
    ASSERT_EQ(head.size(), 24u);
    EXPECT_EQ(load_be32(reinterpret_cast<const unsigned char*>(head.data() + 8)), c.sun_size);
}

constexpr int64_t gib = int64_t{1} << 30;

INSTANTIATE_TEST_SUITE_P(
    sparse, pcmpeel_deep,
    testing::Values(deep_case{"stereo_3_2_gb", wave(2, 16, "", 3200000000), 3200000000, 800000000, std::string(4, '\0'), 1600000000u},
                    deep_case{"mono_8_bit_3_gib", wave(1, 8, "", 3 * gib), 3 * gib, 3 * gib, "\x80\x80", 0xC0000000u},
                    deep_case{"wave_size_all_ones", wave(1, 8, "", 0xFFFFFFFF), 4 * gib + (1 << 20), 4 * gib + (1 << 20),
                              "\x80\x80", 0xFFFFFFFFu},
                    deep_case{"sun_size_unknown", sun_8_unknown_size(), 4 * gib + (1 << 20), 4 * gib + (1 << 20),
                              std::string(2, '\0'), 0xFFFFFFFFu}),
    [](const testing::TestParamInfo<deep_case>& info) { return std::string(info.param.name); });

TEST(pcmpeel, refuses_widths_other_than_one_to_four)
{
    temp_dir dir;
    write_file(dir.file("in.wav"), wave(1, 16, raw({1}, 2)));
    for (const char* bytes : {"0", "5", "-1", "x"}) {
        const run_result r = run_tool("pcmpeel", {"-b", bytes, dir.file("in.wav")});
        EXPECT_EQ(r.status, 1) << bytes;
        EXPECT_EQ(r.err, bytes_error) << bytes;
        EXPECT_EQ(r.out, "");
    }
    // The input is opened first, so its failure is the one reported.
    const run_result r = run_tool("pcmpeel", {"-b", "5", dir.file("missing.wav")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(ends_with(r.err, "\nError opening inputfile\n")) << r.err;
}

TEST(pcmpeel, reports_inputs_it_cannot_open)
{
    temp_dir dir;
    const run_result missing = run_tool("pcmpeel", {dir.file("missing.wav")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, dir.file("missing.wav") + ": No such file or directory\n\nError opening inputfile\n");

    write_file(dir.file("junk"), std::string(600, 'j'));
    const run_result junk = run_tool("pcmpeel", {dir.file("junk")});
    EXPECT_EQ(junk.status, 1);
    EXPECT_EQ(junk.err, "\nInputfile error: filetype not recognized !\n\nError opening inputfile\n");

    const run_result empty_stdin = run_tool("pcmpeel", {});
    EXPECT_EQ(empty_stdin.status, 1);
    EXPECT_TRUE(ends_with(empty_stdin.err, "\nError opening inputfile\n")) << empty_stdin.err;
}

TEST(pcmpeel, reports_outputs_it_cannot_write)
{
    temp_dir dir;
    write_file(dir.file("in.wav"), wave(1, 16, raw({1, 2, 3}, 2)));
    const run_result no_dir = run_tool("pcmpeel", {"-o", dir.file("no/such/dir"), dir.file("in.wav")});
    EXPECT_EQ(no_dir.status, 1);
    EXPECT_EQ(no_dir.err, "\nError opening outputfile\n");

    const run_result full = run_tool("pcmpeel", {"-o", "/dev/full", dir.file("in.wav")});
    EXPECT_NE(full.status, 0);
    EXPECT_EQ(full.err, "\nError closing file\n");

    // More than a stdio buffer: the failure shows at the write itself.
    std::vector<int64_t> many(100000, 5);
    write_file(dir.file("long.wav"), wave(1, 16, raw(many, 2)));
    const run_result long_full = run_shell("pcmpeel '" + dir.file("long.wav") + "' > /dev/full");
    EXPECT_NE(long_full.status, 0);
    EXPECT_EQ(long_full.err, "\nError writing outputfile\n\nError closing file\n");
}

TEST(pcmpeel, output_file_holds_the_samples)
{
    temp_dir dir;
    const std::string samples = raw({5, -5, 7}, 2);
    write_file(dir.file("in.wav"), wave(1, 16, samples));
    write_file(dir.file("out.raw"), "old contents, longer than the new");
    const run_result r = run_tool("pcmpeel", {"-o", dir.file("out.raw"), dir.file("in.wav")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(read_file(dir.file("out.raw")), samples);
}

TEST(pcmpeel, never_writes_over_its_input)
{
    temp_dir dir;
    const std::string file = wave(1, 16, raw({5, -5, 7}, 2));
    write_file(dir.file("in.wav"), file);
    const run_result r = run_tool("pcmpeel", {"-o", dir.path + "/./in.wav", dir.file("in.wav")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\nError: outputfile is the inputfile\n");
    EXPECT_EQ(read_file(dir.file("in.wav")), file);
}

TEST(pcmpeel, accepts_names_of_any_length)
{
    temp_dir dir;
    const std::string deep = dir.file(std::string(200, 'd'));
    ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
    const std::string in = deep + "/" + std::string(250, 'i') + ".wav";
    const std::string out = deep + "/" + std::string(250, 'o') + ".raw";
    const std::string samples = raw({1, 2, 3, 4}, 2);
    write_file(in, wave(2, 16, samples));
    const run_result r = run_tool("pcmpeel", {"-o", out, in});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(read_file(out), samples);
}

TEST(pcmpeel, prints_its_usage)
{
    const run_result help = run_tool("pcmpeel", {"-h"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, usage);
    EXPECT_EQ(help.out, "");

    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{{"-x"}, {"-b"}}) {
        const run_result bad = run_tool("pcmpeel", args);
        EXPECT_EQ(bad.status, 1);
        EXPECT_EQ(bad.err, "get command line option: Invalid argument\n" + usage);
        EXPECT_EQ(bad.out, "");
    }
}

TEST(pcmpeel, reads_a_pipe_from_tonesmith)
{
    const run_result r = run_shell("tonesmith -c 2 -n 100 -a 1000 -t wave_24 | pcmpeel -b 4 | wc -c");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "800\n");
}

}  // namespace

namespace {

TEST(pcmpeel, an_empty_output_name_is_no_standard_output)
{
    temp_dir dir;
    write_file(dir.file("in.wav"), wave(1, 16, raw({5, -5, 7}, 2)));
    const run_result r = run_tool("pcmpeel", {"-o", "", dir.file("in.wav")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\nError opening outputfile\n");
    EXPECT_EQ(r.out, "");
}

}  // namespace
