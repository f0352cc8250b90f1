// pcmwrap run as a user runs it: exact output bytes, messages and statuses.
#include "audio_helpers.h"
#include "run.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// The 44-byte header pcmwrap writes for WAVE output.
std::string wave_header(int channels, int bytes, int sfreq, uint32_t frames)
{
    const uint32_t block = static_cast<uint32_t>(channels * bytes);
    return "RIFF" + le(36 + frames * block, 4) + "WAVE" + "fmt " + le(16, 4) + le(1, 2) + le(static_cast<uint64_t>(channels), 2) +
           le(static_cast<uint64_t>(sfreq), 4) + le(static_cast<uint64_t>(sfreq) * block, 4) + le(block, 2) +
           le(static_cast<uint64_t>(8 * bytes), 2) + "data" + le(frames * block, 4);
}

bool exists(const std::string& path)
{
    struct stat status {};
    return stat(path.c_str(), &status) == 0;
}

const std::string usage = "Usage: pcmwrap [-ssfreq] [-bbytes] [-cchannels] [-ttype] [-ooutputfile] audiofiles\n";
const std::string bytes_error = "Error only 1..4 bytes per sample supported\n";

// Extremes and a few values of every width, two channels.
std::vector<int64_t> test_values(int bytes)
{
    const int64_t top = (int64_t{1} << (8 * bytes - 1)) - 1;
    return {-top - 1, top, -1, 0, 1, 2, top / 3, -top / 5, 100, -100, top - 1, -top};
}

struct round_trip {
    const char* type;
    int bytes;
};

// Every output family, every width that its types hold exactly.
const round_trip round_trips[] = {
    {"aiff_8", 1},  {"aifc_8", 1},  {"wave_8", 1},  {"sun_8", 1},   {"aiff", 2},    {"aifc", 2},
    {"wave", 2},    {"sun", 2},     {"spw", 2},     {"ils", 2},     {"aiff_24", 3}, {"aifc_24", 3},
    {"wave_24", 3}, {"sun_24", 3},  {"sun_f", 3},   {"ils_f", 3},   {"aiff_32", 4}, {"aifc_32", 4},
    {"wave_32", 4}, {"sun_32", 4},  {"sun_d", 4},   {"spw_d", 4},   {"ils_d", 4},   {"wave_24", 1},
};

TEST(pcmwrap, raw_samples_come_back_through_every_family)
{
    temp_dir dir;
    for (const round_trip& t : round_trips) {
        SCOPED_TRACE(testing::Message() << t.type << ", " << t.bytes << " bytes");
        const std::string samples = raw(test_values(t.bytes), t.bytes);
        write_file(dir.file("in.raw"), samples + "\x01");  // and a partial frame
        const std::string out = dir.file(std::string("out.") + t.type);
        const run_result w = run_tool("pcmwrap", {"-b", std::to_string(t.bytes), "-c", "2", "-s", "22050", "-t", t.type,
                                                  "-o", out, dir.file("in.raw")});
        EXPECT_EQ(w.status, 0);
        EXPECT_EQ(w.err, "");
        EXPECT_EQ(w.out, "");
        // pcmpeel stops at the header's count, so this checks the rewrite too.
        const run_result p = run_tool("pcmpeel", {"-b", std::to_string(t.bytes), out});
        EXPECT_EQ(p.status, 0) << p.err;
        EXPECT_TRUE(p.out == samples) << p.out.size() << " bytes back of " << samples.size();
    }
}

TEST(pcmwrap, default_type_is_aiff_of_the_raw_width)
{
    temp_dir dir;
    write_file(dir.file("in.raw"), raw({1, 2, 3}, 3));
    for (const char* type : {"", "AIFF", "wave_99"}) {
        const run_result w = run_tool("pcmwrap", {"-b", "3", "-t", type, "-o", dir.file("out.aif"), dir.file("in.raw")});
        EXPECT_EQ(w.status, 0) << type << w.err;
        EXPECT_EQ(read_file(dir.file("out.aif")).substr(0, 4), "FORM") << type;
        EXPECT_EQ(run_tool("pcmpeel", {"-b", "3", dir.file("out.aif")}).out, raw({1, 2, 3}, 3)) << type;
    }
}

TEST(pcmwrap, drops_a_partial_last_frame_and_states_the_count)
{
    temp_dir dir;
    write_file(dir.file("in.raw"), raw({1, 2, 3, 4, 5}, 2));  // 10 bytes: two whole stereo frames
    const run_result r = run_tool("pcmwrap", {"-c", "2", "-t", "wave", "-o", dir.file("out.wav"), dir.file("in.raw")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(dir.file("out.wav")), wave_header(2, 2, 44100, 2) + raw({1, 2, 3, 4}, 2));
}

struct side_case {
    std::vector<std::vector<int64_t>> inputs;
    int channels;
    std::vector<int64_t> expected;
};

// Raw samples that a WAVE file of their width stores as they are move
// unconverted: in the kernel from file to file, through a buffer from a
// pipe; the partial last frame is dropped either way.
TEST(pcmwrap, unconverted_into_wave_by_every_way)
{
    temp_dir dir;
    const std::string in = dir.file("in.raw"), out = dir.file("out.wav");
    for (const int bytes : {2, 3, 4}) {
        std::vector<int64_t> values;
        for (int64_t i = 0; i < 3 * 200001; ++i)
            values.push_back(i * 104729 % (int64_t{1} << (8 * bytes - 1)));
        const std::string samples = raw(values, bytes);
        write_file(in, samples + std::string(static_cast<size_t>(bytes), '\x55'));  // a partial frame
        const std::string expected = wave_header(3, bytes, 44100, 200001) + samples;
        const std::string options = " -b " + std::to_string(bytes) + " -c 3 -t wave_" + std::to_string(8 * bytes);
        for (const std::string& command : {"pcmwrap" + options + " -o '" + out + "' '" + in + "'",
                                           "cat '" + in + "' | pcmwrap" + options + " -o '" + out + "'"}) {
            const run_result r = run_shell(command);
            EXPECT_EQ(r.status, 0) << command << r.err;
            EXPECT_TRUE(read_file(out) == expected) << command << ": " << read_file(out).size() << " bytes";
        }
        const run_result piped = run_shell("pcmwrap" + options + " '" + in + "' | cat");
        EXPECT_TRUE(piped.out.substr(44) == samples) << bytes << ": " << piped.out.size() << " bytes to a pipe";
    }
}

TEST(pcmwrap, lays_inputs_side_by_side_until_the_shortest_ends)
{
    const side_case cases[] = {
        {{{1, 2, 3}, {10, 20, 30}}, 1, {1, 10, 2, 20, 3, 30}},
        {{{1, 2, 3}, {10, 20}}, 1, {1, 10, 2, 20}},
        {{{1, 2}, {10, 20, 30}}, 1, {1, 10, 2, 20}},
        {{{1, 2, 3, 4}, {10, 20}, {100, 200, 300, 400, 500}}, 2, {1, 2, 10, 20, 100, 200}},
        {{{1, 2, 3, 4, 5}, {}}, 1, {}},
    };
    temp_dir dir;
    for (const side_case& c : cases) {
        std::vector<std::string> args{"-c", std::to_string(c.channels), "-s", "8000", "-t", "wave", "-o", dir.file("out.wav")};
        for (size_t k = 0; k < c.inputs.size(); ++k) {
            const std::string name = dir.file("in" + std::to_string(k) + ".raw");
            write_file(name, raw(c.inputs[k], 2));
            args.push_back(name);
        }
        const run_result r = run_tool("pcmwrap", args);
        const int channels = c.channels * static_cast<int>(c.inputs.size());
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(read_file(dir.file("out.wav")),
                  wave_header(channels, 2, 8000, static_cast<uint32_t>(c.expected.size()) / static_cast<uint32_t>(channels)) +
                      raw(c.expected, 2));
    }
}

// Long inputs side by side, across many blocks and the library's buffer.
TEST(pcmwrap, large_inputs_side_by_side)
{
    temp_dir dir;
    std::vector<int64_t> a, b, expected;
    for (int64_t i = 0; i < 400000; ++i) {
        a.push_back(i % 65536 - 32768);
        if (i < 399999)
            b.push_back(-(i % 30000));
    }
    for (size_t i = 0; i < b.size(); ++i) {
        expected.push_back(a[i]);
        expected.push_back(b[i]);
    }
    write_file(dir.file("a.raw"), raw(a, 2));
    write_file(dir.file("b.raw"), raw(b, 2));
    const run_result r = run_tool("pcmwrap", {"-t", "wave", "-s", "8000", "-o", dir.file("out.wav"), dir.file("a.raw"), dir.file("b.raw")});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(read_file(dir.file("out.wav")) == wave_header(2, 2, 8000, 399999) + raw(expected, 2));
}

struct value_case {
    const char* bytes;
    std::string raw;
    const char* type;
    std::string samples;  // in the WAVE file
};

TEST(pcmwrap, keeps_integer_values)
{
    const value_case cases[] = {
        {"1", "\xFF", "wave_16", "\xFF\xFF"},
        {"1", "\xFF", "wave_8", "\x7F"},
        {"3", std::string("\x00\x00\x80", 3), "wave_24", std::string("\x00\x00\x80", 3)},
        {"2", "\xFF\x7F", "wave_24", std::string("\xFF\x7F\x00", 3)},
        {"4", std::string("\x00\x00\x00\x80", 4), "wave_32", std::string("\x00\x00\x00\x80", 4)},
        {"4", "\xFF\xFF\xFF\x7F", "wave_16", "\xFF\x7F"},  // clipped by the 16-bit type
    };
    temp_dir dir;
    for (const value_case& c : cases) {
        write_file(dir.file("in.raw"), c.raw);
        const run_result r = run_tool("pcmwrap", {"-b", c.bytes, "-t", c.type, "-o", dir.file("out.wav"), dir.file("in.raw")});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(read_file(dir.file("out.wav")).substr(44), c.samples) << c.bytes << " bytes to " << c.type;
    }
}

TEST(pcmwrap, writes_standard_output_by_default)
{
    temp_dir dir;
    const std::string samples = raw({7, -7, 300}, 2);
    write_file(dir.file("in.raw"), samples);
    const run_result r = run_tool("pcmwrap", {"-t", "wave", "-s", "8000", dir.file("in.raw")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, wave_header(1, 2, 8000, 0) + samples);  // the count known at open

    const run_result named = run_tool("pcmwrap", {"-t", "wave", "-s", "8000", "-o", "AUDIO_TO_STDOUT", dir.file("in.raw")});
    EXPECT_EQ(named.status, 0);
    EXPECT_EQ(named.err, "");
    EXPECT_EQ(named.out, r.out);

    const run_result piped = run_tool("pcmwrap", {"-t", "wave", "-s", "8000"}, samples);
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.out, r.out);

    const run_result aiff = run_tool("pcmwrap", {dir.file("in.raw")});
    EXPECT_EQ(aiff.status, 0);
    EXPECT_EQ(aiff.out.substr(0, 4), "FORM");
}

TEST(pcmwrap, empty_input_gives_a_header_only)
{
    temp_dir dir;
    write_file(dir.file("in.raw"), "");
    const run_result r = run_tool("pcmwrap", {"-t", "wave", "-o", dir.file("out.wav"), dir.file("in.raw")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(read_file(dir.file("out.wav")), wave_header(1, 2, 44100, 0));
}

TEST(pcmwrap, refuses_bad_widths_and_channel_counts)
{
    temp_dir dir;
    write_file(dir.file("in.raw"), raw({1, 2}, 2));
    struct refusal {
        std::vector<std::string> args;
        std::string err;
    };
    const refusal cases[] = {
        {{"-b", "5"}, bytes_error},
        {{"-b", "0"}, bytes_error},
        {{"-b", "-2", "-c", "0"}, bytes_error},
        {{"-c", "0"}, "Error: channels per input must be 1 or more, not 0\n"},
        {{"-c", "-3"}, "Error: channels per input must be 1 or more, not -3\n"},
        {{"-c", "2147483647", "-t", "wave"}, "Error: 4294967294 channels do not fit in one frame\n"},
    };
    for (const refusal& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"-o", dir.file("out"), dir.file("in.raw"), dir.file("in.raw")});
        const run_result r = run_tool("pcmwrap", args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, c.err);
        EXPECT_FALSE(exists(dir.file("out")));
    }
}

TEST(pcmwrap, reports_inputs_it_cannot_open)
{
    temp_dir dir;
    write_file(dir.file("in.raw"), raw({1, 2}, 2));
    // Inputs are opened before anything else is checked.
    const run_result r = run_tool("pcmwrap", {"-b", "9", "-o", dir.file("out"), dir.file("in.raw"), dir.file("gone.raw")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error: opening inputfile: " + dir.file("gone.raw") + "\n");
    EXPECT_FALSE(exists(dir.file("out")));
}

TEST(pcmwrap, failed_output_is_never_a_success)
{
    temp_dir dir;
    write_file(dir.file("in.raw"), raw({1, 2, 3}, 2));
    const run_result no_dir = run_tool("pcmwrap", {"-t", "wave", "-o", dir.file("no/dir/out.wav"), dir.file("in.raw")});
    EXPECT_EQ(no_dir.status, 1);
    EXPECT_EQ(no_dir.err, dir.file("no/dir/out.wav") + ": No such file or directory\n\nError opening outputfile\n");

    const run_result full = run_tool("pcmwrap", {"-t", "wave", "-o", "/dev/full", dir.file("in.raw")});
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "\nError closing file\nError closing file\n");  // the library's, then ours

    std::vector<int64_t> many(1000000, 3);  // more than the library's buffer
    write_file(dir.file("long.raw"), raw(many, 2));
    const run_result long_full = run_shell("pcmwrap -t wave '" + dir.file("long.raw") + "' > /dev/full");
    EXPECT_EQ(long_full.status, 1);
    EXPECT_EQ(long_full.err, "\nError writing outputfile\n\nError closing file\nError closing file\n");
}

TEST(pcmwrap, never_writes_over_an_input)
{
    temp_dir dir;
    const std::string samples = raw({1, 2, 3}, 2);
    write_file(dir.file("a.raw"), samples);
    write_file(dir.file("b.raw"), samples);
    const run_result r = run_tool("pcmwrap", {"-o", dir.file("b.raw"), dir.file("a.raw"), dir.path + "/./b.raw"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error: outputfile is also an inputfile: " + dir.path + "/./b.raw\n");
    EXPECT_EQ(read_file(dir.file("b.raw")), samples);
}

TEST(pcmwrap, accepts_names_of_any_length)
{
    temp_dir dir;
    const std::string deep = dir.file(std::string(200, 'd'));
    ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
    const std::string in = deep + "/" + std::string(250, 'i') + ".raw";
    const std::string out = deep + "/" + std::string(250, 'o') + ".wav";
    write_file(in, raw({1, 2, 3, 4}, 2));
    const run_result r = run_tool("pcmwrap", {"-c", "2", "-s", "8000", "-t", "wave", "-o", out, in});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(read_file(out), wave_header(2, 2, 8000, 2) + raw({1, 2, 3, 4}, 2));
    const run_result missing = run_tool("pcmwrap", {in + "x"});
    EXPECT_EQ(missing.err, "Error: opening inputfile: " + in + "x\n");
}

TEST(pcmwrap, prints_its_usage)
{
    const run_result help = run_tool("pcmwrap", {"-h"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, usage);
    EXPECT_EQ(help.out, type_list);

    const run_result bad = run_tool("pcmwrap", {"-q"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err, "get command line option: Invalid argument\n" + usage);
    EXPECT_EQ(bad.out, type_list);
}

TEST(pcmwrap, pipes_into_sonomorph)
{
    temp_dir dir;
    const std::string samples = raw({5, -5, 1000, -1000}, 2);
    write_file(dir.file("in.raw"), samples);
    const run_result r =
        run_shell("pcmwrap -c 2 -t wave '" + dir.file("in.raw") + "' | sonomorph -t wave_24 -o '" + dir.file("out.wav") + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(run_tool("pcmpeel", {dir.file("out.wav")}).out, samples);
}

}  // namespace

namespace {

TEST(pcmwrap, outputs_that_cannot_be_read_back_keep_their_first_header)
{
    // A named pipe, a FIFO and a device: reading the header back would wait
    // for ever or find none, so the header written at open stays.
    temp_dir dir;
    const std::string samples = raw({7, -7, 300}, 2);
    write_file(dir.file("in.raw"), samples);
    const std::string expected = wave_header(1, 2, 8000, 0) + samples;

    const run_result piped = run_shell("timeout 20 pcmwrap -t wave -s 8000 -o /dev/stdout '" + dir.file("in.raw") + "' | cat");
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.err, "");
    EXPECT_EQ(piped.out, expected);

    const run_result fifo = run_shell("cd '" + dir.path + "' && mkfifo f && { cat f > got & } && timeout 20 pcmwrap -t wave -s 8000 -o f in.raw; s=$?; wait; exit $s");
    EXPECT_EQ(fifo.status, 0);
    EXPECT_EQ(read_file(dir.file("got")), expected);

    const run_result null = run_tool("pcmwrap", {"-o", "/dev/null", dir.file("in.raw")});
    EXPECT_EQ(null.status, 0);
    EXPECT_EQ(null.err, "");
}

TEST(pcmwrap, spw_through_a_pipe_keeps_every_sample)
{
    // A header on a pipe states 0 points; the reader then counts the data.
    temp_dir dir;
    const std::string samples = raw({1, -2, 3, -4, 5, -6}, 2);
    write_file(dir.file("in.raw"), samples);
    const run_result r = run_shell("pcmwrap -t spw -c 2 '" + dir.file("in.raw") + "' | pcmpeel");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, samples);
}

}  // namespace
