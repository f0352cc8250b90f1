// sonomorph run as a user runs it: options, usage text, messages, exit
// statuses, output bytes, and its files as the peers read them.
#include "audio_helpers.h"
#include "audiofile.h"
#include "byteorder.h"
#include "run.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

const std::string usage_text =
    "\nUsage:"
    "\nsonomorph [-n] [-cchannels] [-f sfreq] [-ttype] [-ooutputfile] audiofile"
    "\n       -n scale audio samples relative to range of new type\n";

// A WAVE file made by the library; its header states frames.
std::string make_wave(int type, int channels, int sfreq, const std::vector<double>& samples)
{
    temp_dir dir;
    const std::string name = dir.file("made.wav");
    audio_header h;
    init_audio_header(&h);
    h.type = type;
    h.channels = channels;
    h.sfreq = sfreq;
    h.frames = static_cast<int>(samples.size()) / channels;
    audio_file* file = open_audio_file(name.c_str(), "w", &h);
    if (file == nullptr)
        return {};
    for (size_t i = 0; i + static_cast<size_t>(channels) <= samples.size(); i += static_cast<size_t>(channels))
        write_audio_frame(samples.data() + i, file);
    close_audio_file(file);
    return read_file(name);
}

uint32_t field32(const std::string& bytes, size_t offset)
{
    return load_le32(reinterpret_cast<const unsigned char*>(bytes.data() + offset));
}

uint16_t field16(const std::string& bytes, size_t offset)
{
    return load_le16(reinterpret_cast<const unsigned char*>(bytes.data() + offset));
}

std::vector<double> ramp(int count, int step, int offset = 0)
{
    std::vector<double> v;
    for (int i = 0; i < count; ++i)
        v.push_back(static_cast<double>((i * step + offset) % 65536 - 32768));
    return v;
}

// 1000 stereo 16-bit frames.
const std::vector<double> stereo_samples = ramp(2000, 33);
const std::string stereo_wave = make_wave(AUDIO_WAVE_16, 2, 44100, stereo_samples);

// --- usage and statuses ------------------------------------------------------

TEST(sonomorph_usage, on_h_with_status_0)
{
    const run_result r = run_tool("sonomorph", {"-h"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, usage_text);
    EXPECT_EQ(r.out, type_list);
}

TEST(sonomorph_usage, on_option_errors_with_status_1)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-x"}, {"-n", "-q", "in.wav"}, {"-t"}, {"-:"}, {"-o"}}) {
        const run_result r = run_tool("sonomorph", args);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_EQ(r.err, "get command line option: Invalid argument\n" + usage_text) << args[0];
        EXPECT_EQ(r.out, type_list);
    }
}

TEST(sonomorph_io, standard_input_to_standard_output_is_a_success)
{
    const run_result r = run_tool("sonomorph", {}, stereo_wave);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, stereo_wave);
}

TEST(sonomorph_io, the_standard_output_name_is_standard_output_too)
{
    const run_result r = run_tool("sonomorph", {"-o", AUDIO_TO_STDOUT}, stereo_wave);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, stereo_wave);
}

TEST(sonomorph_io, named_files_and_pipes_give_the_same_bytes)
{
    temp_dir dir;
    const std::string in = dir.file("in.wav");
    write_file(in, stereo_wave);
    const run_result named = run_tool("sonomorph", {"-o", dir.file("a.wav"), in});
    EXPECT_EQ(named.status, 0);
    EXPECT_EQ(named.err, "");
    EXPECT_EQ(read_file(dir.file("a.wav")), stereo_wave);

    const run_result piped = run_shell("cat '" + in + "' | sonomorph -o '" + dir.file("b.wav") + "'");
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(read_file(dir.file("b.wav")), stereo_wave);

    const run_result redirected = run_shell("sonomorph < '" + in + "' > '" + dir.file("c.wav") + "'");
    EXPECT_EQ(redirected.status, 0) << redirected.err;
    EXPECT_EQ(read_file(dir.file("c.wav")), stereo_wave);
}

TEST(sonomorph_io, further_operands_are_ignored)
{
    temp_dir dir;
    write_file(dir.file("in.wav"), stereo_wave);
    const run_result r = run_tool("sonomorph", {dir.file("in.wav"), dir.file("missing.wav")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, stereo_wave);
}

TEST(sonomorph_io, names_of_any_length)
{
    temp_dir dir;
    const std::string in = dir.file(std::string(250, 'i') + ".wav");
    const std::string out = dir.file(std::string(250, 'o') + ".wav");
    write_file(in, stereo_wave);
    const run_result r = run_tool("sonomorph", {"-t", std::string(300, 'w'), "-o", out, in});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(read_file(out), stereo_wave);  // an unknown type name gives 16-bit WAVE
}

TEST(sonomorph_errors, missing_input)
{
    temp_dir dir;
    const std::string in = dir.file("nope.wav");
    const run_result r = run_tool("sonomorph", {"-o", dir.file("out.wav"), in});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, in + ": No such file or directory\n\nError opening inputfile\n");
    EXPECT_EQ(r.out, "");
}

TEST(sonomorph_errors, input_of_no_known_format)
{
    const run_result r = run_tool("sonomorph", {}, std::string(1000, 'z'));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\nInputfile error: filetype not recognized !\n\nError opening inputfile\n");
    EXPECT_EQ(r.out, "");

    const run_result empty = run_tool("sonomorph", {});
    EXPECT_EQ(empty.status, 1);
    EXPECT_EQ(empty.err, "\nInputfile error: filetype not recognized !\n\nError opening inputfile\n");
}

TEST(sonomorph_errors, frames_that_cannot_be_read_are_no_success_and_leave_the_output)
{
    // A header of no channels, and one whose 16-bit count reads negative:
    // nothing can be copied, and that is said before the output is opened.
    temp_dir dir;
    const std::string out = dir.file("out.wav");
    for (const int channels : {0, 40000}) {
        std::string in = stereo_wave;
        in[22] = static_cast<char>(channels & 0xFF);
        in[23] = static_cast<char>(channels >> 8 & 0xFF);
        write_file(out, "kept");
        const run_result r = run_tool("sonomorph", {"-t", "wave_32", "-o", out}, in);
        EXPECT_EQ(r.status, 1) << channels;
        EXPECT_EQ(r.err, "\nError: frames of " + std::to_string(static_cast<int16_t>(channels)) + " channels cannot be read\n");
        EXPECT_EQ(read_file(out), "kept");
    }
}

// Every program that writes a header refuses a channel count it cannot
// hold, and leaves a file of the output's name as it was.
TEST(sonomorph_errors, channels_the_output_header_cannot_hold)
{
    temp_dir dir;
    write_file(dir.file("in.wav"), make_wave(AUDIO_WAVE_16, 1, 8000, ramp(64000, 1)));
    write_file(dir.file("in.raw"), std::string(70000, '\x01'));
    struct row {
        std::string command;  // writes out
        std::string err;
    };
    for (const row& r : {row{"sonomorph -c 40000 -t wave -o out in.wav", "\nError: WAVE headers hold at most 32767 channels, not 40000\nError opening outputfile\n"},
                         row{"sonomorph -c 32768 -t aiff_8 -o out in.wav", "\nError: AIFF headers hold at most 32767 channels, not 32768\nError opening outputfile\n"},
                         row{"sonomorph -c 200 -t ils -o out in.wav", "\nError: ILS headers hold at most 128 channels, not 200\nError opening outputfile\n"},
                         row{"pcmwrap -b 1 -c 65537 -t wave_8 -o out in.raw", "\nError: WAVE headers hold at most 32767 channels, not 65537\nError opening outputfile\n"},
                         row{"pcmwrap -c 257 -t ils -o out in.raw", "\nError: ILS headers hold at most 128 channels, not 257\nError opening outputfile\n"},
                         row{"pcmwrap -c 40000 -t aifc -o out in.raw", "\nError: AIFC headers hold at most 32767 channels, not 40000\nError opening outputfile\n"},
                         row{"tonesmith -c 129 -t ils_f out", "\nError: ILS headers hold at most 128 channels, not 129out: Error opening output file.\n"}}) {
        write_file(dir.file("out"), "kept");
        const run_result result = run_shell("cd '" + dir.path + "' && " + r.command);
        EXPECT_EQ(result.status, 1) << r.command;
        EXPECT_EQ(result.err, r.err) << r.command;
        EXPECT_EQ(read_file(dir.file("out")), "kept") << r.command;
    }
}

// Read errors are no end of the input; a non-blocking pipe with nothing
// to read yet is waited for.  python3 hands the program its standard input.
struct faulty_input_case {
    const char* name;
    const char* feed;  // how the input arrives
    std::string command;
    int status;
    std::string err;
};

class faulty_input : public testing::TestWithParam<faulty_input_case> {};

const char* feeder = R"(
import os, socket, subprocess, sys, threading, time
mode, data = sys.argv[1], open(sys.argv[2], 'rb').read()
if mode == 'reset':
    ours, theirs = socket.socketpair()
    ours.sendall(b'x')  # left unread: closing with it gives the reader ECONNRESET
    def feed():
        theirs.sendall(data[:len(data) // 2]); theirs.close()
else:
    ours, w = os.pipe()
    os.set_blocking(ours, False)
    def feed():
        for i in range(0, len(data), 65536):
            os.write(w, data[i:i + 65536]); time.sleep(0.01)
        os.close(w)
program = subprocess.Popen(sys.argv[3:], stdin=ours)
(ours.close if mode == 'reset' else lambda: os.close(ours))()  # a program that stops early ends the feed
threading.Thread(target=feed, daemon=True).start()
sys.exit(program.wait())
)";

TEST_P(faulty_input, ends_as_the_input_did)
{
    const faulty_input_case& c = GetParam();
    REQUIRE_PEER("python3");
    temp_dir dir;
    write_file(dir.file("feed.py"), feeder);
    write_file(dir.file("in.wav"), make_wave(AUDIO_WAVE_16, 2, 8000, ramp(400000, 7)));
    const run_result r =
        run_shell("cd '" + dir.path + "' && python3 feed.py " + c.feed + " in.wav " + c.command + " > piped.out");
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err, c.err);
    if (c.status == 0) {
        const run_result whole = run_shell("cd '" + dir.path + "' && " + c.command + " < in.wav > named.out");
        ASSERT_EQ(whole.status, 0) << whole.err;
        EXPECT_TRUE(read_file(dir.file("piped.out")) == read_file(dir.file("named.out")));
    }
}

INSTANTIATE_TEST_SUITE_P(
    stdin, faulty_input,
    testing::Values(faulty_input_case{"sonomorph_reset", "reset", "sonomorph -t wave_24", 1, "\nError reading inputfile\n"},
                    faulty_input_case{"sonomorph_copy_reset", "reset", "sonomorph -o out.wav", 1, "\nError reading inputfile\n"},
                    faulty_input_case{"pcmpeel_reset", "reset", "pcmpeel -b 3", 1, "\nError reading inputfile\n"},
                    faulty_input_case{"sonomorph_slow_nonblocking", "slow", "sonomorph -t aiff_24", 0, ""},
                    faulty_input_case{"sonomorph_copy_slow_nonblocking", "slow", "sonomorph -o out.wav", 0, ""},
                    faulty_input_case{"pcmpeel_slow_nonblocking", "slow", "pcmpeel -b 3", 0, ""}),
    [](const testing::TestParamInfo<faulty_input_case>& info) { return std::string(info.param.name); });

TEST(sonomorph_errors, output_that_cannot_be_opened)
{
    const std::string out = "/nonexistent-folder/out.wav";
    const run_result r = run_tool("sonomorph", {"-o", out}, stereo_wave);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, out + ": No such file or directory\n\nError opening outputfile\n");
}

TEST(sonomorph_errors, lost_writes_end_with_status_1)
{
    REQUIRE_PEER("sh");
    temp_dir dir;
    write_file(dir.file("in.wav"), stereo_wave);
    const run_result named = run_tool("sonomorph", {"-o", "/dev/full", dir.file("in.wav")});
    EXPECT_EQ(named.status, 1);
    EXPECT_NE(named.err.find("Error closing file"), std::string::npos) << named.err;

    const run_result piped = run_shell("sonomorph '" + dir.file("in.wav") + "' > /dev/full");
    EXPECT_EQ(piped.status, 1);
    EXPECT_NE(piped.err.find("Error closing file"), std::string::npos) << piped.err;

    // Large enough that the buffer is flushed while copying.
    const run_result big = run_shell("tonesmith -n 1000000 | sonomorph > /dev/full");
    EXPECT_EQ(big.status, 1);
}

// --- regrouping, relabelling, types ------------------------------------------

TEST(sonomorph_regroup, three_channels_from_1000_stereo_frames)
{
    temp_dir dir;
    write_file(dir.file("in.wav"), stereo_wave);
    const run_result r = run_tool("sonomorph", {"-c", "3", "-o", dir.file("out.wav"), dir.file("in.wav")});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string out = read_file(dir.file("out.wav"));
    ASSERT_EQ(out.size(), 44u + 666u * 6u);
    EXPECT_EQ(field16(out, 22), 3);
    EXPECT_EQ(field32(out, 40), 3996u);
    EXPECT_EQ(field32(out, 4), 3996u + 36u);
    const decoded d = decode(out);
    EXPECT_EQ(d.header.frames, 666);
    EXPECT_EQ(d.samples, std::vector<double>(stereo_samples.begin(), stereo_samples.begin() + 1998));

    // To standard output the header carries the count worked out at open.
    const run_result piped = run_tool("sonomorph", {"-c3"}, stereo_wave);
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.out, out);
}

TEST(sonomorph_regroup, one_channel_doubles_the_frames)
{
    const run_result r = run_tool("sonomorph", {"-c", "1"}, stereo_wave);
    ASSERT_EQ(r.status, 0) << r.err;
    const decoded d = decode(r.out);
    EXPECT_EQ(d.header.channels, 1);
    EXPECT_EQ(d.header.frames, 2000);
    EXPECT_EQ(d.samples, stereo_samples);
    EXPECT_EQ(r.out.substr(44), stereo_wave.substr(44));
}

TEST(sonomorph_regroup, zero_or_negative_counts_and_frequencies_change_nothing)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-c", "0"}, {"-c", "-2"}, {"-f", "0"}, {"-f", "-48000"}, {"-c", "x"}}) {
        const run_result r = run_tool("sonomorph", args, stereo_wave);
        EXPECT_EQ(r.status, 0) << args[0] << ' ' << args[1];
        EXPECT_EQ(r.out, stereo_wave) << args[0] << ' ' << args[1];
    }
}

TEST(sonomorph_regroup, frequency_is_relabelled)
{
    const run_result r = run_tool("sonomorph", {"-f", "96000"}, stereo_wave);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(field32(r.out, 24), 96000u);
    EXPECT_EQ(field32(r.out, 28), 96000u * 4u);
    EXPECT_EQ(r.out.substr(44), stereo_wave.substr(44));
}

TEST(sonomorph_types, without_n_values_pass_unchanged_and_clip)
{
    const std::string in = make_wave(AUDIO_WAVE_16, 1, 8000, {300, -300, 100, -100, 0, 32767});
    const run_result to24 = run_tool("sonomorph", {"-t", "wave_24"}, in);
    ASSERT_EQ(to24.status, 0);
    EXPECT_EQ(to24.err, "");
    const decoded d24 = decode(to24.out);
    EXPECT_EQ(d24.header.type, AUDIO_WAVE_24);
    EXPECT_EQ(d24.samples, (std::vector<double>{300, -300, 100, -100, 0, 32767}));

    const run_result to8 = run_tool("sonomorph", {"-t", "wave_8"}, in);
    ASSERT_EQ(to8.status, 0);
    EXPECT_EQ(decode(to8.out).samples, (std::vector<double>{127, -128, 100, -100, 0, 127}));
    EXPECT_EQ(to8.out.size(), 44u + 6u);
}

TEST(sonomorph_types, unchanged_samples_keep_their_bytes_and_drop_a_partial_frame)
{
    // Same type in and out: the samples move as they are; the odd byte at
    // the end is no whole frame and is dropped, and the header says so.
    for (int type : {AUDIO_WAVE_8, AUDIO_WAVE_16, AUDIO_WAVE_24, AUDIO_WAVE_32}) {
        const int bits = get_type_bits(type);
        const double max = static_cast<double>((int64_t{1} << (bits - 1)) - 1);
        const std::string in = make_wave(type, 2, 8000, {max, -max - 1, 0, -1, 1, max - 1});
        temp_dir dir;
        write_file(dir.file("in.wav"), in + "\x7F");
        const run_result r = run_tool("sonomorph", {"-o", dir.file("out.wav"), dir.file("in.wav")});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(read_file(dir.file("out.wav")), in) << "type " << type;

        // Through 32 bits and back, by the converting path.
        if (type != AUDIO_WAVE_32) {
            const run_result there = run_tool("sonomorph", {"-t", "wave_32", "-n"}, in);
            const run_result back =
                run_tool("sonomorph", {"-t", "wave_" + std::to_string(bits), "-n"}, there.out);
            ASSERT_EQ(back.status, 0);
            EXPECT_EQ(back.out, in) << "type " << type;
        }
    }
}

TEST(sonomorph_types, unknown_type_name_gives_16_bit_wave_silently)
{
    const std::string in = make_wave(AUDIO_WAVE_24, 1, 8000, {70000, -5, 12});
    for (const char* name : {"WAVE", "wav", "mp3", "wave_64"}) {
        const run_result r = run_tool("sonomorph", {"-t", name}, in);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        const decoded d = decode(r.out);
        EXPECT_EQ(d.header.type, AUDIO_WAVE_16) << name;
        EXPECT_EQ(d.samples, (std::vector<double>{32767, -5, 12})) << name;
    }
}

struct scale_case {
    const char* name;
    int from;
    std::string to;
    std::string lines;
    std::vector<double> in, out;
};

class sonomorph_scale : public testing::TestWithParam<scale_case> {};

TEST_P(sonomorph_scale, prints_the_scaling_and_multiplies)
{
    const scale_case& c = GetParam();
    const run_result r = run_tool("sonomorph", {"-n", "-t", c.to}, make_wave(c.from, 1, 8000, c.in));
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.err, c.lines);
    const decoded d = decode(r.out);
    EXPECT_EQ(d.header.type, get_audio_type(c.to.c_str(), -1));
    EXPECT_EQ(d.samples, c.out);
}

INSTANTIATE_TEST_SUITE_P(
    sonomorph, sonomorph_scale,
    testing::Values(
        scale_case{"16_to_24", AUDIO_WAVE_16, "wave_24",
                   "get_scaling_bits for type: 17 precision: 16 => 15\n"
                   "get_scaling_bits for type: 18 precision: 24 => 23\n"
                   "scale_bits:  8 => scale_factor:  2.56000000e+02\n",
                   {1, -32768, 32767}, {256, -8388608, 8388352}},
        scale_case{"24_to_16_rounds_half_up", AUDIO_WAVE_24, "wave_16",
                   "get_scaling_bits for type: 18 precision: 24 => 23\n"
                   "get_scaling_bits for type: 17 precision: 16 => 15\n"
                   "scale_bits: -8 => scale_factor:  3.90625000e-03\n",
                   {384, -384, 128, -128, 8388607, -8388608}, {2, -1, 1, 0, 32767, -32768}},
        scale_case{"16_to_32", AUDIO_WAVE_16, "wave_32",
                   "get_scaling_bits for type: 17 precision: 16 => 15\n"
                   "get_scaling_bits for type: 19 precision: 32 => 31\n"
                   "scale_bits: 16 => scale_factor:  6.55360000e+04\n",
                   {1, -32768, 32767}, {65536, -2147483648.0, 2147418112.0}},
        scale_case{"16_to_8", AUDIO_WAVE_16, "wave_8",
                   "get_scaling_bits for type: 17 precision: 16 => 15\n"
                   "get_scaling_bits for type: 16 precision:  8 =>  7\n"
                   "scale_bits: -8 => scale_factor:  3.90625000e-03\n",
                   {32767, -32768, 384, -384}, {127, -128, 2, -1}},
        scale_case{"equal_widths", AUDIO_WAVE_16, "wave",
                   "get_scaling_bits for type: 17 precision: 16 => 15\n"
                   "get_scaling_bits for type: 17 precision: 16 => 15\n"
                   "scale_bits:  0 => scale_factor:  1.00000000e+00\n",
                   {5, -7}, {5, -7}}),
    [](const testing::TestParamInfo<scale_case>& info) { return std::string(info.param.name); });

TEST(sonomorph_scale_float, full_scale_float_to_32_bits_clips_instead_of_wrapping)
{
    const std::string in = make_wave(AUDIO_WAVE_32, 1, 8000, {2147483647.0, -2147483648.0, 1073741824.0});
    const run_result to_float = run_tool("sonomorph", {"-n", "-t", "sun_f"}, in);
    ASSERT_EQ(to_float.status, 0);
    EXPECT_EQ(to_float.err, "get_scaling_bits for type: 19 precision: 32 => 31\n"
                            "get_scaling_bits for type: 25 precision: 32 =>  0\n"
                            "scale_bits: -31 => scale_factor:  4.65661287e-10\n");
    const decoded f = decode(to_float.out);
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.header.type, AUDIO_SUN_F);
    // 2147483647 / 2^31 rounds to 1.0 in single precision.
    EXPECT_EQ(f.samples, (std::vector<double>{1.0, -1.0, 0.5}));

    const run_result back = run_tool("sonomorph", {"-n", "-t", "wave_32"}, to_float.out);
    ASSERT_EQ(back.status, 0);
    EXPECT_EQ(back.err, "get_scaling_bits for type: 25 precision: 32 =>  0\n"
                        "get_scaling_bits for type: 19 precision: 32 => 31\n"
                        "scale_bits: 31 => scale_factor:  2.14748365e+09\n");
    EXPECT_EQ(decode(back.out).samples, (std::vector<double>{2147483647.0, -2147483648.0, 1073741824.0}));
}

TEST(sonomorph_rewrite, corrects_the_count_of_a_piped_header_that_gave_none)
{
    // A header written to standard output says 0 frames; from a pipe the
    // reader then counts the largest 32-bit file, and the rewrite of the
    // named output puts the real count in.
    std::string in = stereo_wave;
    in.replace(40, 4, std::string(4, '\0'));
    temp_dir dir;
    const run_result r = run_tool("sonomorph", {"-t", "wave_24", "-o", dir.file("out.wav")}, in);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string out = read_file(dir.file("out.wav"));
    ASSERT_EQ(out.size(), 44u + 6000u);
    EXPECT_EQ(field32(out, 40), 6000u);
    EXPECT_EQ(field32(out, 4), 6036u);
    EXPECT_EQ(decode(out).samples, stereo_samples);
}

TEST(sonomorph_pipeline, tonesmith_into_sonomorph_to_24_bits)
{
    temp_dir dir;
    const run_result r = run_shell("tonesmith | sonomorph -t wave_24 -n > '" + dir.file("out.wav") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    const decoded d = decode(read_file(dir.file("out.wav")));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.header.type, AUDIO_WAVE_24);
    EXPECT_EQ(d.header.frames, 48000);
    EXPECT_EQ(d.header.sfreq, 48000);
    const decoded tone = decode(run_tool("tonesmith", {}).out);
    ASSERT_EQ(d.samples.size(), tone.samples.size());
    for (size_t i = 0; i < d.samples.size(); ++i)
        ASSERT_EQ(d.samples[i], tone.samples[i] * 256) << "sample " << i;
}

// --- the peers read what sonomorph writes ------------------------------------

TEST(sonomorph_interop, conversions_equal_what_sox_makes_and_libsndfile_reads)
{
    REQUIRE_PEER("sox");
    temp_dir dir;
    const std::string in = dir.file("in.wav");
    write_file(in, stereo_wave);
    for (const char* type : {"wave_24", "wave_32"}) {
        const std::string bits = std::string(type).substr(5);
        const std::string ours = dir.file(std::string("ours_") + type + ".wav");
        const std::string theirs = dir.file(std::string("sox_") + type + ".wav");
        ASSERT_EQ(run_tool("sonomorph", {"-n", "-t", type, "-o", ours, in}).status, 0);
        ASSERT_EQ(run_command({"sox", in, "-t", "wavpcm", "-b", bits, theirs}).status, 0);
        EXPECT_EQ(read_file(ours), read_file(theirs)) << type;
        const run_result soxi = run_command({"soxi", "-s", ours});
        EXPECT_EQ(soxi.out, "1000\n");
        if (have_program("sndfile-info")) {
            const run_result info = run_command({"sndfile-info", ours});
            EXPECT_NE(info.out.find("Frames      : 1000\n"), std::string::npos) << info.out;
            EXPECT_NE(info.out.find("Channels    : 2\n"), std::string::npos) << info.out;
        }
    }
}

}  // namespace

namespace {

TEST(sonomorph_io, outputs_that_cannot_be_read_back_keep_their_first_header)
{
    // A named pipe and a device: the header written at open stays, and the
    // run is a success.
    temp_dir dir;
    write_file(dir.file("in.wav"), stereo_wave);
    const run_result piped = run_shell("timeout 20 sonomorph -o /dev/stdout '" + dir.file("in.wav") + "' | cat");
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.err, "");
    EXPECT_EQ(piped.out, stereo_wave);
    const run_result null = run_tool("sonomorph", {"-o", "/dev/null", dir.file("in.wav")});
    EXPECT_EQ(null.status, 0);
    EXPECT_EQ(null.err, "");
}

TEST(sonomorph_errors, never_writes_over_its_input)
{
    temp_dir dir;
    write_file(dir.file("in.wav"), stereo_wave);
    const run_result r = run_tool("sonomorph", {"-t", "wave_24", "-o", dir.path + "/./in.wav", dir.file("in.wav")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\nError: outputfile is the inputfile\n");
    EXPECT_EQ(read_file(dir.file("in.wav")), stereo_wave);
}

}  // namespace

namespace {

TEST(sonomorph_types, unchanged_copies_agree_from_files_and_pipes)
{
    // Between regular files the bytes are copied by the kernel; from a pipe
    // through the buffer.  Both give the same file, partial frame dropped.
    std::vector<double> samples(2 * 600000);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<double>(static_cast<int16_t>(i * 7919));
    const std::string in = make_wave(AUDIO_WAVE_16, 2, 48000, samples);
    temp_dir dir;
    write_file(dir.file("in.wav"), in + "\x01\x02\x03");
    const run_result from_file = run_tool("sonomorph", {"-o", dir.file("a.wav"), dir.file("in.wav")});
    ASSERT_EQ(from_file.status, 0) << from_file.err;
    const run_result from_pipe = run_shell("cat '" + dir.file("in.wav") + "' | sonomorph -o '" + dir.file("b.wav") + "'");
    ASSERT_EQ(from_pipe.status, 0) << from_pipe.err;
    EXPECT_EQ(read_file(dir.file("a.wav")), in);
    EXPECT_EQ(read_file(dir.file("b.wav")), in);
}

}  // namespace
