// Interoperability with real peers: files sox writes as .au, AIFF and AIFC
// read sample for sample as sox decodes them; files sonomorph writes read
// right by sox and by libsndfile; the variants the formats leave out get the
// answers of their readers.
#include "formats_helpers.h"
#include "run.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>

using namespace formats_test;

namespace {

enum class raw_kind { s8, s16, s24, s32, f32, f64 };

int raw_bytes(raw_kind k)
{
    switch (k) {
    case raw_kind::s8: return 1;
    case raw_kind::s16: return 2;
    case raw_kind::s24: return 3;
    case raw_kind::s32:
    case raw_kind::f32: return 4;
    case raw_kind::f64: return 8;
    }
    return 1;
}

// Little-endian raw samples as values.
std::vector<double> parse_raw(const std::string& raw, raw_kind k)
{
    const auto* p = reinterpret_cast<const unsigned char*>(raw.data());
    const size_t n = raw.size() / static_cast<size_t>(raw_bytes(k));
    std::vector<double> v(n);
    for (size_t i = 0; i < n; ++i) {
        switch (k) {
        case raw_kind::s8: v[i] = static_cast<signed char>(p[i]); break;
        case raw_kind::s16: v[i] = static_cast<int16_t>(load_le16(p + 2 * i)); break;
        case raw_kind::s24: v[i] = static_cast<int32_t>(uint32_t{p[3 * i]} << 8 | uint32_t{p[3 * i + 1]} << 16 | uint32_t{p[3 * i + 2]} << 24) >> 8; break;
        case raw_kind::s32: v[i] = static_cast<int32_t>(load_le32(p + 4 * i)); break;
        case raw_kind::f32: v[i] = std::bit_cast<float>(load_le32(p + 4 * i)); break;
        case raw_kind::f64: v[i] = std::bit_cast<double>(load_le64(p + 8 * i)); break;
        }
    }
    return v;
}

std::vector<std::string> sox_raw_format(raw_kind k)
{
    const std::string bits = std::to_string(8 * raw_bytes(k));
    const bool floating = k == raw_kind::f32 || k == raw_kind::f64;
    return {"-t", "raw", "-e", floating ? "floating-point" : "signed-integer", "-b", bits, "-L"};
}

// sox's own decoding of a file.
std::vector<double> sox_decode(const std::string& path, raw_kind k)
{
    std::vector<std::string> argv{"sox", path};
    for (const auto& a : sox_raw_format(k))
        argv.push_back(a);
    argv.push_back("-");
    const run_result r = run_command(argv);
    EXPECT_EQ(r.status, 0) << r.err;
    return parse_raw(r.out, k);
}

long soxi(const char* what, const std::string& path)
{
    const run_result r = run_command({"soxi", what, path});
    EXPECT_EQ(r.status, 0) << r.err;
    return std::strtol(r.out.c_str(), nullptr, 10);
}

// A "Key : value" number from the summary sndfile-info prints last.
long sndfile_value(const std::string& info, const std::string& key)
{
    const size_t at = info.rfind(key);
    if (at == std::string::npos)
        return -1;
    const size_t colon = info.find(':', at);
    return std::strtol(info.c_str() + colon + 1, nullptr, 10);
}

struct peer_case {
    const char* name;
    std::vector<std::string> sox_format;  // output options for sox
    const char* suffix;
    int type;
    raw_kind kind;
};

class peer_written : public testing::TestWithParam<peer_case> {};

TEST_P(peer_written, read_as_sox_decodes)
{
    REQUIRE_PEER("sox");
    const peer_case& c = GetParam();
    temp_dir dir;
    const std::string path = dir.file(std::string("x.") + c.suffix);
    std::vector<std::string> argv{"sox", "-n", "-r", "11025", "-c", "2"};
    for (const auto& a : c.sox_format)
        argv.push_back(a);
    argv.push_back(path);
    for (const char* a : {"synth", "0.05", "sine", "440", "sine", "1230", "gain", "-1"})
        argv.emplace_back(a);
    const run_result made = run_command(argv);
    ASSERT_EQ(made.status, 0) << made.err;

    audio_header h{};
    const std::vector<double> ours = decode_file(path, &h);
    EXPECT_EQ(h.type, c.type);
    EXPECT_EQ(h.channels, 2);
    EXPECT_EQ(h.sfreq, 11025);
    EXPECT_EQ(h.frames, soxi("-s", path));
    const std::vector<double> theirs = sox_decode(path, c.kind);
    ASSERT_EQ(ours.size(), theirs.size());
    ASSERT_GT(ours.size(), 1000u);
    for (size_t i = 0; i < ours.size(); ++i)
        ASSERT_EQ(ours[i], theirs[i]) << "sample " << i;
}

INSTANTIATE_TEST_SUITE_P(
    sox, peer_written,
    testing::Values(peer_case{"au_8", {"-e", "signed-integer", "-b", "8"}, "au", AUDIO_SUN_8, raw_kind::s8},
                    peer_case{"au_16", {"-b", "16"}, "au", AUDIO_SUN_16, raw_kind::s16},
                    peer_case{"au_24", {"-b", "24"}, "au", AUDIO_SUN_24, raw_kind::s24},
                    peer_case{"au_32", {"-b", "32"}, "au", AUDIO_SUN_32, raw_kind::s32},
                    peer_case{"au_float", {"-e", "floating-point", "-b", "32"}, "au", AUDIO_SUN_F, raw_kind::f32},
                    peer_case{"au_double", {"-e", "floating-point", "-b", "64"}, "au", AUDIO_SUN_D, raw_kind::f64},
                    peer_case{"aiff_8", {"-b", "8"}, "aiff", AUDIO_AIFF_8, raw_kind::s8},
                    peer_case{"aiff_16", {"-b", "16"}, "aiff", AUDIO_AIFF_16, raw_kind::s16},
                    peer_case{"aiff_24", {"-b", "24"}, "aiff", AUDIO_AIFF_24, raw_kind::s24},
                    peer_case{"aiff_32", {"-b", "32"}, "aiff", AUDIO_AIFF_32, raw_kind::s32},
                    peer_case{"aifc_8", {"-b", "8"}, "aifc", AUDIO_AIFC_8, raw_kind::s8},
                    peer_case{"aifc_16", {"-b", "16"}, "aifc", AUDIO_AIFC_16, raw_kind::s16},
                    peer_case{"aifc_24", {"-b", "24"}, "aifc", AUDIO_AIFC_24, raw_kind::s24},
                    peer_case{"aifc_32", {"-b", "32"}, "aifc", AUDIO_AIFC_32, raw_kind::s32}),
    [](const testing::TestParamInfo<peer_case>& info) { return std::string(info.param.name); });

TEST(peer_variants, sox_aiff_comment_is_read)
{
    REQUIRE_PEER("sox");
    temp_dir dir;
    const std::string path = dir.file("c.aiff");
    ASSERT_EQ(run_command({"sox", "-n", "-r", "8000", "--comment", "first take, odd length", path, "synth", "0.01", "sine", "440"}).status, 0);
    audio_header h{};
    decode_file(path, &h);
    EXPECT_STREQ(h.comment, "first take, odd length");
}

TEST(peer_variants, sox_mu_law_au_is_refused)
{
    REQUIRE_PEER("sox");
    temp_dir dir;
    const std::string path = dir.file("u.au");
    ASSERT_EQ(run_command({"sox", "-n", "-r", "8000", "-e", "u-law", path, "synth", "0.01", "sine", "440"}).status, 0);
    const run_result r = run_tool("sonomorph", {"-o", dir.file("out.wav"), path});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "sun format: 1 not supported\n\nError reading SUN audio file\nError opening inputfile\n");
}

// Compressed AIFC as the peers write it is refused, not decoded as noise,
// and the output named is left as it was.
struct compressed_case {
    const char* compression;
    std::vector<std::string> command;  // writes OUT
};

class compressed_aifc : public testing::TestWithParam<compressed_case> {};

TEST_P(compressed_aifc, is_refused_before_the_output_is_touched)
{
    const compressed_case& c = GetParam();
    REQUIRE_PEER(c.command[0]);
    temp_dir dir;
    const std::string path = dir.file("in.aifc");
    std::vector<std::string> command = c.command;
    for (std::string& word : command)
        if (word == "OUT")
            word = path;
    const run_result made = run_command(command);
    ASSERT_EQ(made.status, 0) << made.err;
    write_file(dir.file("out.wav"), "kept");
    const run_result r = run_tool("sonomorph", {"-o", dir.file("out.wav"), path});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, std::string("aifc compression type: ") + c.compression +
                         " not supported\n\nError reading AIFF/AIFC file\nError opening inputfile\n");
    EXPECT_EQ(read_file(dir.file("out.wav")), "kept");
}

const std::vector<std::string> ffmpeg_aifc{"ffmpeg", "-loglevel", "error", "-f", "lavfi", "-i",
                                           "sine=frequency=440:sample_rate=8000:duration=0.02"};

std::vector<std::string> with(std::vector<std::string> words, const std::vector<std::string>& more)
{
    words.insert(words.end(), more.begin(), more.end());
    return words;
}

INSTANTIATE_TEST_SUITE_P(
    peers, compressed_aifc,
    testing::Values(
        compressed_case{"fl32", {"sox", "-n", "-r", "8000", "-e", "floating-point", "-b", "32", "OUT", "synth", "0.02", "sine", "440"}},
        compressed_case{"fl64", {"sox", "-n", "-r", "8000", "-e", "floating-point", "-b", "64", "OUT", "synth", "0.02", "sine", "440"}},
        compressed_case{"sowt", with(ffmpeg_aifc, {"-c:a", "pcm_s16le", "-f", "aiff", "OUT"})},
        compressed_case{"ulaw", with(ffmpeg_aifc, {"-c:a", "pcm_mulaw", "-f", "aiff", "OUT"})},
        compressed_case{"alaw", with(ffmpeg_aifc, {"-c:a", "pcm_alaw", "-f", "aiff", "OUT"})}),
    [](const testing::TestParamInfo<compressed_case>& info) { return std::string(info.param.compression); });

struct ours_case {
    const char* type;
    raw_kind kind;
    const char* sndfile_encoding;
};

class ours_written : public testing::TestWithParam<ours_case> {};

// sonomorph -n fills each type's range; sox and libsndfile read the same
// header values and samples as we do.
TEST_P(ours_written, read_right_by_sox_and_libsndfile)
{
    REQUIRE_PEER("sox");
    REQUIRE_PEER("sndfile-info");
    REQUIRE_PEER("sndfile-convert");
    const ours_case& c = GetParam();
    temp_dir dir;
    ASSERT_EQ(run_tool("tonesmith", {"-c", "2", "-n", "1000", "-a", "30000", "-s", "997", "-f", "44100", dir.file("in.wav")}).status, 0);
    const std::string type = c.type;
    const std::string suffix = type.rfind("sun", 0) == 0 ? ".au" : type.rfind("aifc", 0) == 0 ? ".aifc" : ".aiff";
    const std::string path = dir.file("x" + suffix);
    const run_result made = run_tool("sonomorph", {"-n", "-t", type, "-o", path, dir.file("in.wav")});
    ASSERT_EQ(made.status, 0) << made.err;

    audio_header h{};
    const std::vector<double> ours = decode_file(path, &h);
    ASSERT_EQ(ours.size(), 2000u);

    EXPECT_EQ(soxi("-c", path), 2);
    EXPECT_EQ(soxi("-r", path), 44100);
    EXPECT_EQ(soxi("-s", path), 1000);
    EXPECT_EQ(sox_decode(path, c.kind), ours);

    const run_result info = run_command({"sndfile-info", path});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(sndfile_value(info.out, "Frames"), 1000) << info.out;
    EXPECT_EQ(sndfile_value(info.out, "Channels"), 2);
    EXPECT_EQ(sndfile_value(info.out, "Sample Rate"), 44100);
    const run_result converted = run_command({"sndfile-convert", c.sndfile_encoding, "-endian=little", path, dir.file("y.raw")});
    ASSERT_EQ(converted.status, 0) << converted.err;
    EXPECT_EQ(parse_raw(read_file(dir.file("y.raw")), c.kind), ours);
}

INSTANTIATE_TEST_SUITE_P(
    sonomorph, ours_written,
    testing::Values(ours_case{"sun_8", raw_kind::s8, "-pcms8"}, ours_case{"sun_16", raw_kind::s16, "-pcm16"},
                    ours_case{"sun_24", raw_kind::s24, "-pcm24"}, ours_case{"sun_32", raw_kind::s32, "-pcm32"},
                    ours_case{"sun_f", raw_kind::f32, "-float32"}, ours_case{"sun_d", raw_kind::f64, "-float64"},
                    ours_case{"aiff_8", raw_kind::s8, "-pcms8"}, ours_case{"aiff_16", raw_kind::s16, "-pcm16"},
                    ours_case{"aiff_24", raw_kind::s24, "-pcm24"}, ours_case{"aiff_32", raw_kind::s32, "-pcm32"},
                    ours_case{"aifc_8", raw_kind::s8, "-pcms8"}, ours_case{"aifc_16", raw_kind::s16, "-pcm16"},
                    ours_case{"aifc_24", raw_kind::s24, "-pcm24"}, ours_case{"aifc_32", raw_kind::s32, "-pcm32"}),
    [](const testing::TestParamInfo<ours_case>& info) { return std::string(info.param.type); });

}  // namespace
