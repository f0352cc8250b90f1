// tonesmith run as a user runs it: options, usage text, messages, exit
// statuses, the signal's values, and its files as the peers read them.
#include "audio_helpers.h"
#include "audiofile.h"
#include "byteorder.h"
#include "portable_math.h"
#include "run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

const std::string usage_text =
    "tonesmith [-h] prints this message\n"
    "           [-a amplitude]\n"
    "           [-c channels]\n"
    "           [-f sampling frequency]\n"
    "           [-L] logaritmic sweep\n"
    "           [-n number of samples]\n"
    "           [-s sinus frequency]\n"
    "           [-S sweep end frequency]\n"
    "           [-t type of the audio file]\n"
    "           [audiofile]\n";

const double two_pi = 8.0 * std::atan(1.0);

// Runs tonesmith to standard output and decodes what it wrote.
decoded tone(const std::vector<std::string>& args)
{
    const run_result r = run_tool("tonesmith", args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    return decode(r.out);
}

// --- usage and statuses ------------------------------------------------------

TEST(tonesmith_usage, on_h_and_option_errors_with_status_1)
{
    const run_result help = run_tool("tonesmith", {"-h"});
    EXPECT_EQ(help.status, 1);
    EXPECT_EQ(help.err, usage_text);
    EXPECT_EQ(help.out, type_list);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-x"}, {"-n"}, {"-a", "5", "-Q"}, {"-:"}, {"-L", "-t"}}) {
        const run_result r = run_tool("tonesmith", args);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_EQ(r.err, "get command line option: Invalid argument\n" + usage_text) << args[0];
        EXPECT_EQ(r.out, type_list) << args[0];
    }
}

TEST(tonesmith_defaults, one_second_of_1_khz_at_peak_5000)
{
    const run_result r = run_tool("tonesmith", {});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    ASSERT_EQ(r.out.size(), 44u + 96000u);
    const decoded d = decode(r.out);
    EXPECT_EQ(d.header.type, AUDIO_WAVE_16);
    EXPECT_EQ(d.header.channels, 1);
    EXPECT_EQ(d.header.sfreq, 48000);
    EXPECT_EQ(d.header.frames, 48000);
    ASSERT_EQ(d.samples.size(), 48000u);
    EXPECT_EQ(d.samples[0], 0.0);
    EXPECT_EQ(d.samples[12], 5000.0);   // a quarter period
    EXPECT_EQ(d.samples[36], -5000.0);  // three quarters
    for (size_t k = 0; k < d.samples.size(); ++k)
        ASSERT_NEAR(d.samples[k], 5000.0 * std::sin(two_pi * static_cast<double>(k % 48) / 48.0), 0.5001) << k;
}

TEST(tonesmith_options, every_option_shapes_the_file)
{
    const decoded d = tone({"-a", "100.5", "-c", "3", "-f", "8000", "-n", "40", "-s", "2000", "-t", "wave_24"});
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.header.type, AUDIO_WAVE_24);
    EXPECT_EQ(d.header.channels, 3);
    EXPECT_EQ(d.header.sfreq, 8000);
    EXPECT_EQ(d.header.frames, 40);
    ASSERT_EQ(d.samples.size(), 120u);
    // 2 kHz at 8 kHz: 0, peak, 0, -peak; every channel alike.
    const double expected[4] = {0, 101, 0, -100};  // 100.5 rounds half up
    for (size_t k = 0; k < 40; ++k)
        for (size_t c = 0; c < 3; ++c)
            ASSERT_EQ(d.samples[3 * k + c], expected[k % 4]) << "frame " << k << " channel " << c;
}

TEST(tonesmith_options, channel_count_is_truncated_toward_zero)
{
    const decoded d = tone({"-c", "2.9", "-n", "10"});
    EXPECT_EQ(d.header.channels, 2);
    for (size_t k = 0; k < 10; ++k)
        EXPECT_EQ(d.samples[2 * k], d.samples[2 * k + 1]);
}

TEST(tonesmith_options, last_occurrence_wins)
{
    const decoded d = tone({"-n", "5", "-n", "7", "-f", "1000", "-f", "2000"});
    EXPECT_EQ(d.header.frames, 7);
    EXPECT_EQ(d.header.sfreq, 2000);
}

TEST(tonesmith_options, amplitude_beyond_the_type_clips)
{
    const decoded d = tone({"-a", "40000", "-n", "48", "-s", "1000"});
    EXPECT_EQ(d.samples[12], 32767.0);
    EXPECT_EQ(d.samples[36], -32768.0);
}

TEST(tonesmith_options, unknown_type_name_gives_16_bit_wave_silently)
{
    for (const std::string& name : {std::string("WAVE"), std::string("flac"), std::string(100, 'x')}) {
        const run_result r = run_tool("tonesmith", {"-t", name, "-n", "3"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(decode(r.out).header.type, AUDIO_WAVE_16) << name;
    }
}

TEST(tonesmith_output, zero_frames_is_a_header_alone)
{
    const run_result r = run_tool("tonesmith", {"-n", "0"});
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(r.out.size(), 44u);
    EXPECT_EQ(r.out.substr(40), std::string(4, '\0'));
}

TEST(tonesmith_output, named_file_of_any_name_length_and_further_operands_ignored)
{
    temp_dir dir;
    std::filesystem::create_directories(dir.file(std::string(200, 'd')));
    const std::string name = dir.file(std::string(200, 'd') + "/" + std::string(250, 't') + ".wav");
    const run_result r = run_tool("tonesmith", {"-n", "100", name, dir.file("other.wav")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(read_file(name), run_tool("tonesmith", {"-n", "100"}).out);
    EXPECT_EQ(read_file(dir.file("other.wav")), "");
}

TEST(tonesmith_errors, output_that_cannot_be_opened)
{
    const std::string name = "/nonexistent-folder/tone.wav";
    const run_result r = run_tool("tonesmith", {name});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, name + ": No such file or directory\n" + name + ": Error opening output file.\n");
}

TEST(tonesmith_errors, lost_writes_end_with_status_1)
{
    const run_result named = run_tool("tonesmith", {"/dev/full"});
    EXPECT_EQ(named.status, 1);
    EXPECT_EQ(named.err, "\nError closing file/dev/full: Error closing input audio file.\n");

    const run_result piped = run_shell("tonesmith -n 1000000 > /dev/full");
    EXPECT_EQ(piped.status, 1);
    EXPECT_NE(piped.err.find("AUDIO_TO_STDOUT: Error writing output file.\n"), std::string::npos) << piped.err;
}

TEST(tonesmith_errors, no_channels_or_an_undefined_log_sweep_stop_with_a_message)
{
    struct bad {
        std::vector<std::string> args;
        std::string message;
    };
    const std::string log_message = "tonesmith: a logarithmic sweep needs start and end frequencies above 0 Hz\n";
    const std::string channel_message = "tonesmith: the channel count must be at least 1\n";
    const std::string rate_message = "tonesmith: the sampling frequency must be at least 1 Hz\n";
    const std::string count_message = "tonesmith: the number of samples must not be negative\n";
    for (const bad& b : {bad{{"-c", "0"}, channel_message}, bad{{"-c", "-2"}, channel_message},
                         bad{{"-c", "0.5"}, channel_message}, bad{{"-L", "-s", "0", "-S", "100"}, log_message},
                         bad{{"-L", "-S", "0"}, log_message}, bad{{"-L", "-s", "-5", "-S", "100"}, log_message},
                         bad{{"-L", "-S", "-100"}, log_message}, bad{{"-f", "0"}, rate_message},
                         bad{{"-f", "-44100"}, rate_message}, bad{{"-n", "-1"}, count_message}}) {
        const run_result r = run_tool("tonesmith", b.args);
        EXPECT_EQ(r.status, 1) << b.args[1];
        EXPECT_EQ(r.err, b.message) << b.args[1];
        EXPECT_EQ(r.out, "") << b.args[1];
    }
    // Without -S the -L has no effect, so a start of 0 is a plain (silent) sine.
    const decoded silent = tone({"-L", "-s", "0", "-n", "5"});
    EXPECT_EQ(silent.samples, std::vector<double>(5, 0.0));
    // A linear sweep through 0 Hz is defined.
    EXPECT_EQ(tone({"-s", "-100", "-S", "100", "-n", "10"}).header.frames, 10);
}

// --- the signal --------------------------------------------------------------

// Peak 2e9 in 32-bit samples: the values carry the sine to about 1e-9.
constexpr double big = 2e9;

TEST(tonesmith_signal, linear_sweep_takes_its_last_step_at_the_end_frequency)
{
    // Step 1 Hz per sample; the step into sample k is taken at 100 + k Hz,
    // so the phase of sample k is 2 pi / fs * (100 k + k (k + 1) / 2).
    const decoded d = tone({"-t", "wave_32", "-a", "2e9", "-f", "8000", "-s", "100", "-S", "1100", "-n", "1001"});
    ASSERT_EQ(d.samples.size(), 1001u);
    for (size_t i = 0; i < 1001; ++i) {
        const double k = static_cast<double>(i);
        const double phase = two_pi / 8000.0 * (100.0 * k + k * (k + 1.0) / 2.0);
        ASSERT_NEAR(d.samples[i], std::floor(big * std::sin(phase) + 0.5), 2.0) << "sample " << i;
    }
}

TEST(tonesmith_signal, log_sweep_multiplies_by_the_ratio_per_sample)
{
    // -s 100 -S 1000 -L -n 4: steps at 100 * 10^(1/4), 10^(2/4), 10^(3/4).
    const decoded d = tone({"-t", "wave_32", "-a", "2e9", "-f", "8000", "-s", "100", "-S", "1000", "-L", "-n", "4"});
    ASSERT_EQ(d.samples.size(), 4u);
    double phase = 0;
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(d.samples[static_cast<size_t>(k)], std::floor(big * std::sin(phase) + 0.5), 2.0) << k;
        phase += two_pi / 8000.0 * 100.0 * std::pow(10.0, (k + 1) / 4.0);
    }

    // A long sweep follows the geometric law to its end, one step short of
    // the end frequency.
    const int n = 3000;
    const decoded s = tone({"-t", "wave_32", "-a", "2e9", "-f", "20000", "-s", "50", "-S", "5000", "-L", "-n",
                            std::to_string(n)});
    ASSERT_EQ(s.samples.size(), static_cast<size_t>(n));
    const double r = std::pow(100.0, 1.0 / n);
    for (int k = 0; k < n; k += 7) {
        const double sum = 50.0 * r * (std::pow(r, k) - 1.0) / (r - 1.0);  // frequencies of steps 1..k
        ASSERT_NEAR(s.samples[static_cast<size_t>(k)], big * std::sin(two_pi / 20000.0 * sum), 2000.0) << k;
    }
}

TEST(tonesmith_signal, log_flag_without_end_frequency_is_a_plain_sine)
{
    EXPECT_EQ(run_tool("tonesmith", {"-L", "-n", "500", "-s", "440"}).out,
              run_tool("tonesmith", {"-n", "500", "-s", "440"}).out);
}

TEST(tonesmith_signal, sweep_of_one_sample_is_one_zero)
{
    for (const char* law : {"-S", "-L"}) {
        std::vector<std::string> args{"-S", "2000", "-n", "1"};
        if (std::string(law) == "-L")
            args.push_back("-L");
        const run_result r = run_tool("tonesmith", args);
        EXPECT_EQ(r.status, 0) << law;
        EXPECT_EQ(r.out.size(), 46u) << law;
        EXPECT_EQ(decode(r.out).samples, std::vector<double>{0.0}) << law;
    }
}

TEST(tonesmith_signal, long_signals_cross_the_buffer_without_a_seam)
{
    // More than one 1 MiB buffer of stereo 24-bit frames, and more than one
    // of the tool's blocks: the phase runs on across both.
    const int n = 200000;
    const decoded d = tone({"-c", "2", "-t", "wave_24", "-a", "1000", "-s", "997", "-n", std::to_string(n)});
    ASSERT_EQ(d.samples.size(), 2u * n);
    const double increment = two_pi * 997.0 / 48000.0;
    for (int k = 0; k < n; ++k) {
        const double expected = 1000.0 * std::sin(increment * k);
        ASSERT_NEAR(d.samples[2 * static_cast<size_t>(k)], expected, 1.0) << k;
        ASSERT_EQ(d.samples[2 * static_cast<size_t>(k)], d.samples[2 * static_cast<size_t>(k) + 1]);
    }
}

// --- the same bits on every machine -----------------------------------------

uint64_t fnv1a(const std::string& bytes)
{
    uint64_t hash = 0xcbf29ce484222325u;
    for (const char c : bytes)
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3u;
    return hash;
}

TEST(tonesmith_machines, double_samples_have_the_same_bits_everywhere)
{
    // Hashes of the files made on x86-64; the cross suite checks them on
    // the other machines.  The last row's phase passes 1.6e6 (the far
    // reduction of the sine's argument).
    struct row {
        std::vector<std::string> args;
        uint64_t hash;
    };
    for (const row& r : {row{{"-t", "sun_d", "-s", "997", "-n", "20000"}, 0x0468ea53a51b854eu},
                         row{{"-t", "sun_d", "-s", "20", "-S", "20000", "-n", "20000"}, 0x1fb4387c2523d19eu},
                         row{{"-t", "sun_d", "-s", "20", "-S", "20000", "-L", "-n", "20000"}, 0x2918e608c2519c4au},
                         row{{"-t", "sun_d", "-f", "8000", "-s", "23900", "-n", "200000"}, 0x0454633152f0eed9u}}) {
        const run_result made = run_tool("tonesmith", r.args);
        ASSERT_EQ(made.status, 0) << made.err;
        EXPECT_EQ(fnv1a(made.out), r.hash) << r.args[3] << " " << r.args[5];
    }
}

// Distance in units of the last place.
int64_t ulps_apart(double a, double b)
{
    int64_t x;
    int64_t y;
    std::memcpy(&x, &a, sizeof x);
    std::memcpy(&y, &b, sizeof y);
    x = x < 0 ? INT64_MIN - x : x;
    y = y < 0 ? INT64_MIN - y : y;
    return x > y ? x - y : y - x;
}

TEST(tonesmith_machines, own_sin_exp_and_log_stay_within_an_ulp_of_the_c_library)
{
    // Both are within an ulp of the truth, so 2 apart at most (the 32-bit
    // x86 C library is the one that may be off by one itself).
    struct range {
        const char* name;
        double (*ours)(double);
        double (*library)(double);
        double low;
        double high;
        bool exponent = false;  // draw e^x, to spread over the exponents
    };
    std::mt19937_64 random(7);
    for (const range& r : {range{"sin", portable_sin, [](double x) { return std::sin(x); }, -0.78, 0.78},
                           range{"sin", portable_sin, [](double x) { return std::sin(x); }, -1.6e6, 1.6e6},
                           range{"sin", portable_sin, [](double x) { return std::sin(x); }, 1.6e6, 6.7e9},
                           range{"exp", portable_exp, [](double x) { return std::exp(x); }, -745.0, 709.0},
                           range{"exp", portable_exp, [](double x) { return std::exp(x); }, -1e-4, 1e-4},
                           range{"log", portable_log, [](double x) { return std::log(x); }, -690.0, 690.0, true},
                           range{"log", portable_log, [](double x) { return std::log(x); }, 0.5, 2.0}}) {
        std::uniform_real_distribution<double> draw(r.low, r.high);
        for (int i = 0; i < 20000; ++i) {
            const double x = r.exponent ? std::exp(draw(random)) : draw(random);
            const double library = r.library(x);  // the x87 library wants its 64 bits
            const double_precision_scope precision;
            ASSERT_LE(ulps_apart(r.ours(x), library), 2) << r.name << "(" << x << ")";
        }
    }
    const double_precision_scope precision;
    EXPECT_TRUE(std::isnan(portable_sin(NAN)));
    EXPECT_TRUE(std::isnan(portable_sin(INFINITY)));
    EXPECT_LE(std::fabs(portable_sin(1e300)), 1.0);
    EXPECT_EQ(portable_exp(1000.0), HUGE_VAL);
    EXPECT_EQ(portable_exp(-1000.0), 0.0);
    EXPECT_EQ(portable_log(1.0), 0.0);
    EXPECT_EQ(portable_log(0.0), -HUGE_VAL);
}

// --- the peers read what tonesmith writes ------------------------------------

TEST(tonesmith_interop, sox_and_libsndfile_read_the_files)
{
    REQUIRE_PEER("sox");
    temp_dir dir;
    for (const char* type : {"wave_8", "wave_16", "wave_24", "wave_32"}) {
        const std::string name = dir.file(std::string(type) + ".wav");
        const run_result made = run_tool("tonesmith", {"-c", "2", "-f", "44100", "-n", "4410", "-a", "100", "-t",
                                                       type, "-S", "5000", name});
        ASSERT_EQ(made.status, 0) << made.err;
        const std::string bits = std::string(type).substr(5);
        EXPECT_EQ(run_command({"soxi", "-c", name}).out, "2\n");
        EXPECT_EQ(run_command({"soxi", "-r", name}).out, "44100\n");
        EXPECT_EQ(run_command({"soxi", "-s", name}).out, "4410\n");
        EXPECT_EQ(run_command({"soxi", "-b", name}).out, bits + "\n");
        // sox decodes the same values as the library.
        const run_result raw = run_command({"sox", name, "-t", "raw", "-e", "signed", "-b", "32", "-"});
        ASSERT_EQ(raw.status, 0) << raw.err;
        const decoded ours = decode(read_file(name));
        ASSERT_EQ(raw.out.size(), ours.samples.size() * 4);
        const int shift = 32 - std::stoi(bits);
        for (size_t i = 0; i < ours.samples.size(); ++i) {
            const auto v = static_cast<int32_t>(load_le32(reinterpret_cast<const unsigned char*>(raw.out.data() + 4 * i)));
            ASSERT_EQ(v >> shift, ours.samples[i]) << type << " sample " << i;
        }
        if (have_program("sndfile-info")) {
            const run_result info = run_command({"sndfile-info", name});
            EXPECT_NE(info.out.find("Frames      : 4410\n"), std::string::npos) << info.out;
            EXPECT_NE(info.out.find("Sample Rate : 44100\n"), std::string::npos) << info.out;
            EXPECT_EQ(info.out.find("rror"), std::string::npos) << info.out;
        }
        if (have_program("sndfile-convert")) {
            // libsndfile's decoding, written as 32-bit big-endian SUN audio
            // behind a 24-byte header.
            const std::string au = dir.file(std::string(type) + ".au");
            ASSERT_EQ(run_command({"sndfile-convert", "-pcm32", name, au}).status, 0);
            const std::string back = read_file(au);
            ASSERT_EQ(back.size(), 24 + ours.samples.size() * 4);
            for (size_t i = 0; i < ours.samples.size(); ++i) {
                const auto v = static_cast<int32_t>(load_be32(reinterpret_cast<const unsigned char*>(back.data() + 24 + 4 * i)));
                ASSERT_EQ(v >> shift, ours.samples[i]) << type << " sample " << i;
            }
        }
    }
}

}  // namespace
