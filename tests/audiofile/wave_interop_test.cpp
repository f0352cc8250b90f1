// WAVE and AIFF files between the library and its peers: what sox, ffmpeg
// and Python write is read sample for sample as they decode it themselves,
// and what the library writes is read right by sox and libsndfile.
#include "audiofile.h"
#include "run.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct decoded {
    audio_header header{};
    std::vector<int64_t> samples;
    bool opened = false;
};

decoded read_with_library(const std::string& name)
{
    decoded d;
    audio_file* file = open_audio_file(name.c_str(), "r", &d.header);
    if (file == nullptr)
        return d;
    d.opened = true;
    std::vector<double> frame(static_cast<size_t>(d.header.channels));
    while (read_audio_frame(frame.data(), file) == 0)
        for (double v : frame)
            d.samples.push_back(static_cast<int64_t>(v));
    close_audio_file(file);
    return d;
}

// Signed little-endian integers of the given width, as a peer's raw output.
std::vector<int64_t> raw_samples(const std::string& bytes, int width, bool big_endian = false)
{
    std::vector<int64_t> out;
    for (size_t i = 0; i + static_cast<size_t>(width) <= bytes.size(); i += static_cast<size_t>(width)) {
        uint64_t v = 0;
        for (int b = 0; b < width; ++b) {
            const auto byte = static_cast<unsigned char>(bytes[i + static_cast<size_t>(big_endian ? b : width - 1 - b)]);
            v = v << 8 | byte;
        }
        const int shift = 64 - 8 * width;
        out.push_back(static_cast<int64_t>(v << shift) >> shift);
    }
    return out;
}

std::string soxi(const std::string& option, const std::string& name)
{
    const run_result r = run_command({"soxi", option, name});
    std::string s = r.out;
    while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
        s.pop_back();
    return s;
}

struct sox_case {
    const char* name;
    int bits;
    int channels;
    bool plain;  // -t wavpcm: the plain header; otherwise sox may choose the extensible one
};

class sox_written : public testing::TestWithParam<sox_case> {};

TEST_P(sox_written, reads_as_sox_decodes_it)
{
    REQUIRE_PEER("sox");
    const sox_case& c = GetParam();
    temp_dir dir;
    const std::string name = dir.file("sox.wav");
    std::vector<std::string> make{"sox", "-n", "-r", "44100", "-c", std::to_string(c.channels),
                                  "-b", std::to_string(c.bits)};
    if (c.plain) {
        make.push_back("-t");
        make.push_back("wavpcm");
    }
    // Full-scale noise beside a sine reaches both ends of the range.
    for (const std::string& arg : {name, std::string("synth"), std::string("0.05"), std::string("sine"),
                                  std::string("441"), std::string("whitenoise")})
        make.push_back(arg);
    const run_result made = run_command(make);
    ASSERT_EQ(made.status, 0) << made.err;

    const std::string header = read_file(name).substr(20, 2);
    const bool extensible = header == std::string("\xFE\xFF", 2);
    EXPECT_EQ(extensible, !c.plain && (c.bits > 16 || c.channels > 2)) << "sox chose another header";

    const run_result raw = run_command({"sox", name, "-t", "raw", "-e", "signed", "-b", std::to_string(c.bits), "-"});
    ASSERT_EQ(raw.status, 0) << raw.err;
    const std::vector<int64_t> expected = raw_samples(raw.out, c.bits / 8);

    const decoded ours = read_with_library(name);
    ASSERT_TRUE(ours.opened);
    EXPECT_EQ(ours.header.channels, c.channels);
    EXPECT_EQ(ours.header.sfreq, 44100);
    EXPECT_EQ(get_type_bits(ours.header.type), c.bits);
    EXPECT_EQ(std::to_string(ours.header.frames), soxi("-s", name));
    // sox pads an odd-sized data chunk with one byte, which is no frame.
    EXPECT_EQ(ours.samples, expected);
}

INSTANTIATE_TEST_SUITE_P(
    interop, sox_written,
    testing::Values(sox_case{"wavpcm_8", 8, 1, true}, sox_case{"wavpcm_16", 16, 2, true},
                    sox_case{"wavpcm_24", 24, 2, true}, sox_case{"wavpcm_32", 32, 2, true},
                    sox_case{"wavpcm_16_six_channels", 16, 6, true}, sox_case{"default_16", 16, 2, false},
                    sox_case{"extensible_24", 24, 2, false}, sox_case{"extensible_32", 32, 1, false},
                    sox_case{"extensible_16_three_channels", 16, 3, false},
                    sox_case{"extensible_8_four_channels", 8, 4, false}),
    [](const testing::TestParamInfo<sox_case>& info) { return std::string(info.param.name); });

// Samples that reach both ends of a width, zero, and a ramp in between.
std::vector<int64_t> test_samples(int bits, size_t count)
{
    const int64_t max = (int64_t{1} << (bits - 1)) - 1;
    const int64_t min = -max - 1;
    std::vector<int64_t> v{min, max, 0, -1, 1, min + 1, max - 1};
    uint64_t state = 88172645463325252u;
    while (v.size() < count) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        v.push_back(min + static_cast<int64_t>(state % static_cast<uint64_t>(max - min + 1)));
    }
    return v;
}

struct written_case {
    const char* name;
    int type;
    int channels;
};

class library_written : public testing::TestWithParam<written_case> {};

TEST_P(library_written, is_read_right_by_sox_and_libsndfile)
{
    const written_case& c = GetParam();
    const int bits = get_type_bits(c.type);
    const int frames = 999;
    const std::vector<int64_t> samples = test_samples(bits, static_cast<size_t>(frames * c.channels));
    temp_dir dir;
    const std::string name = dir.file("ours.wav");
    audio_header h;
    init_audio_header(&h);
    h.type = c.type;
    h.channels = c.channels;
    h.sfreq = 22050;
    h.frames = frames;
    audio_file* file = open_audio_file(name.c_str(), "w", &h);
    ASSERT_NE(file, nullptr);
    std::vector<double> frame(static_cast<size_t>(c.channels));
    for (int k = 0; k < frames; ++k) {
        for (int ch = 0; ch < c.channels; ++ch)
            frame[static_cast<size_t>(ch)] = static_cast<double>(samples[static_cast<size_t>(k * c.channels + ch)]);
        ASSERT_EQ(write_audio_frame(frame.data(), file), 0);
    }
    ASSERT_EQ(close_audio_file(file), 0);

    if (have_program("sox")) {
        EXPECT_EQ(soxi("-c", name), std::to_string(c.channels));
        EXPECT_EQ(soxi("-r", name), "22050");
        EXPECT_EQ(soxi("-s", name), std::to_string(frames));
        EXPECT_EQ(soxi("-b", name), std::to_string(bits));
        const run_result raw = run_command({"sox", name, "-t", "raw", "-e", "signed", "-b", std::to_string(bits), "-"});
        ASSERT_EQ(raw.status, 0) << raw.err;
        EXPECT_EQ(raw.err, "");
        EXPECT_EQ(raw_samples(raw.out, bits / 8), samples);
    }
    if (have_program("sndfile-info")) {
        const run_result info = run_command({"sndfile-info", name});
        EXPECT_NE(info.out.find("Channels    : " + std::to_string(c.channels) + "\n"), std::string::npos) << info.out;
        EXPECT_NE(info.out.find("Sample Rate : 22050\n"), std::string::npos) << info.out;
        EXPECT_NE(info.out.find("Frames      : " + std::to_string(frames) + "\n"), std::string::npos) << info.out;
        EXPECT_NE(info.out.find("Bit Width     : " + std::to_string(bits) + "\n"), std::string::npos) << info.out;
    }
    if (have_program("sndfile-convert")) {
        // libsndfile decodes our file and writes it as big-endian SUN audio
        // with a 24-byte header.
        const std::string au = dir.file("back.au");
        const std::string encoding = bits == 8 ? "-pcms8" : "-pcm" + std::to_string(bits);
        const run_result converted = run_command({"sndfile-convert", encoding, name, au});
        ASSERT_EQ(converted.status, 0) << converted.out << converted.err;
        const std::string content = read_file(au);
        ASSERT_GT(content.size(), 24u);
        EXPECT_EQ(raw_samples(content.substr(24), bits / 8, true), samples);
    }
}

INSTANTIATE_TEST_SUITE_P(interop, library_written,
                         testing::Values(written_case{"wave_8_mono", AUDIO_WAVE_8, 1},
                                         written_case{"wave_16_stereo", AUDIO_WAVE_16, 2},
                                         written_case{"wave_24_stereo", AUDIO_WAVE_24, 2},
                                         written_case{"wave_32_stereo", AUDIO_WAVE_32, 2},
                                         written_case{"wave_16_five_channels", AUDIO_WAVE_16, 5},
                                         written_case{"wave_24_odd_length_mono", AUDIO_WAVE_24, 1}),
                         [](const testing::TestParamInfo<written_case>& info) { return std::string(info.param.name); });

struct ffmpeg_case {
    const char* name;
    const char* codec;
    const char* raw_format;
    int width;
    int channels;
};

class ffmpeg_written : public testing::TestWithParam<ffmpeg_case> {};

TEST_P(ffmpeg_written, bitexact_files_read_as_ffmpeg_decodes_them)
{
    REQUIRE_PEER("ffmpeg");
    const ffmpeg_case& c = GetParam();
    temp_dir dir;
    const std::string name = dir.file("ff.wav");
    const run_result made =
        run_command({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "sine=frequency=997:sample_rate=32000:duration=0.05",
                     "-af", "volume=1.5", "-ac", std::to_string(c.channels), "-c:a", c.codec, "-fflags", "+bitexact",
                     "-y", name});
    ASSERT_EQ(made.status, 0) << made.err;
    const run_result raw = run_command({"ffmpeg", "-v", "error", "-i", name, "-f", c.raw_format, "-"});
    ASSERT_EQ(raw.status, 0) << raw.err;
    std::vector<int64_t> expected = raw_samples(raw.out, c.width);
    if (std::string(c.raw_format) == "u8")
        for (int64_t& v : expected)
            v = (v & 0xFF) - 128;

    const decoded ours = read_with_library(name);
    ASSERT_TRUE(ours.opened);
    EXPECT_EQ(ours.header.channels, c.channels);
    EXPECT_EQ(ours.header.sfreq, 32000);
    EXPECT_EQ(ours.header.frames, 1600);
    EXPECT_EQ(ours.samples, expected);
}

INSTANTIATE_TEST_SUITE_P(interop, ffmpeg_written,
                         testing::Values(ffmpeg_case{"u8", "pcm_u8", "u8", 1, 1},
                                         ffmpeg_case{"s16_stereo", "pcm_s16le", "s16le", 2, 2},
                                         ffmpeg_case{"s16_three_channels", "pcm_s16le", "s16le", 2, 3},
                                         ffmpeg_case{"s24", "pcm_s24le", "s24le", 3, 2},
                                         ffmpeg_case{"s32", "pcm_s32le", "s32le", 4, 1}),
                         [](const testing::TestParamInfo<ffmpeg_case>& info) { return std::string(info.param.name); });

// Files laid out as other programs lay them out, with chunks before the
// samples and widths in wider containers, read by pcmpeel, named and on
// standard input, as Python's wave and aifc decode them.
struct layout_case {
    const char* name;
    const char* make;  // shell commands that write in.wav or in.aif
    int width;         // bytes per sample of the container
};

class foreign_layout : public testing::TestWithParam<layout_case> {};

TEST_P(foreign_layout, reads_as_python_decodes_it)
{
    REQUIRE_PEER("ffmpeg");
    REQUIRE_PEER("sox");
    REQUIRE_PEER("python3");
    const layout_case& c = GetParam();
    temp_dir dir;
    const std::string edit = std::string("python3 ") + SONO_SOURCE_DIR + "/tests/audiofile/chunk_edit.py ";
    const run_result made = run_shell("cd '" + dir.path + "' && EDIT='" + edit +
                                      "' TONE='ffmpeg -v error -f lavfi -i sine=frequency=997:duration=0.05 -af volume=2 -ac 2' && " +
                                      c.make + " && ls in.*");
    ASSERT_EQ(made.status, 0) << made.err;
    const std::string in = dir.file(made.out.substr(0, made.out.find('\n')));
    const run_result python = run_shell(edit + "'" + in + "' decode");
    if (python.status == 77)
        GTEST_SKIP() << "python3 has no aifc module";
    ASSERT_EQ(python.status, 0) << python.err;
    ASSERT_GT(python.out.size(), 1000u);
    const std::string width = std::to_string(c.width);
    for (const std::string& command : {"pcmpeel -b " + width + " '" + in + "'", "pcmpeel -b " + width + " < '" + in + "'"}) {
        const run_result ours = run_shell(command);
        EXPECT_EQ(ours.status, 0) << command << ": " << ours.err;
        EXPECT_TRUE(ours.out == python.out) << command;
    }
}

INSTANTIATE_TEST_SUITE_P(
    interop, foreign_layout,
    testing::Values(layout_case{"ffmpeg_bext_and_list_8_bit", "$TONE -c:a pcm_u8 -write_bext 1 in.wav", 1},
                    layout_case{"sox_12_bit_with_odd_and_pad_chunks",
                                "sox -n -r 8000 -c 2 -b 16 -t wavpcm in.wav synth 0.1 sine 440 && $EDIT in.wav bits 12 && "
                                "$EDIT in.wav insert smpl 5 && $EDIT in.wav insert 'PAD ' 4000", 2},
                    layout_case{"ffmpeg_aiff_id3_before_comm",
                                "$TONE -c:a pcm_s16be -write_id3v2 1 -metadata title=x -f aiff in.aif && $EDIT in.aif move 'ID3 '", 2},
                    layout_case{"sox_aiff_20_bit", "sox -n -r 8000 -b 24 in.aif synth 0.1 sine 440 && $EDIT in.aif bits 20", 3}),
    [](const testing::TestParamInfo<layout_case>& info) { return std::string(info.param.name); });

}  // namespace
