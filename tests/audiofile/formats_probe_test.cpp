// The probe across readers: what each reader consumes and hands on, every
// family recognised from a pipe, and standard input through sonomorph.
#include "formats_helpers.h"
#include "run.h"

#include <gtest/gtest.h>

using namespace formats_test;

namespace {

struct family_case {
    int type;
    int channels;
    int32_t offset;  // where the samples begin
};

class probe_pipe : public testing::TestWithParam<family_case> {};

// From a pipe every family is recognised and the stream is left at the first
// sample byte.
TEST_P(probe_pipe, recognised_and_left_at_first_sample)
{
    const family_case& c = GetParam();
    const std::string file = header_bytes(make_header(c.type, c.channels, 32000, 3, "pipe")) + "SAMPLE-BYTES";
    FILE* f = pipe_with(file);
    ASSERT_NE(f, nullptr);
    audio_header h{};
    init_audio_header(&h);
    testing::internal::CaptureStderr();
    const int status = read_audio_header(f, &h);
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(status, 0) << err;
    EXPECT_EQ(h.type, c.type);
    EXPECT_EQ(h.data_offset, c.offset);
    EXPECT_EQ(h.sfreq, 32000);
    std::string rest(12, '\0');
    EXPECT_EQ(std::fread(rest.data(), 1, rest.size(), f), 12u);
    EXPECT_EQ(rest, "SAMPLE-BYTES");
    std::fclose(f);
}

INSTANTIATE_TEST_SUITE_P(families, probe_pipe,
                         testing::Values(family_case{AUDIO_SUN_24, 2, 24}, family_case{AUDIO_WAVE_16, 2, 44},
                                         family_case{AUDIO_AIFF_8, 2, 54 + 8 + 14}, family_case{AUDIO_AIFC_32, 2, 86 + 8 + 14},
                                         family_case{AUDIO_SPW, 1, 232 + 4}, family_case{AUDIO_SPW_D, 1, 197 + 4},
                                         family_case{AUDIO_ILS_F, 2, 512}),
                         [](const auto& info) { return type_code_name(info.param.type); });

struct end_case {
    int type;
    int channels;
};

class data_end : public testing::TestWithParam<end_case> {};

// The samples end where the header says: a chunk, tag or pad byte after them
// is no frame, also after a seek.  A header that states no count (0, as on a
// pipe) reads to the end of the file.
TEST_P(data_end, is_where_the_header_says)
{
    const end_case& c = GetParam();
    temp_dir dir;
    const std::string name = dir.file("in");
    const size_t frame = static_cast<size_t>(c.channels * (get_type_bits(c.type) / 8));
    const std::string samples(3 * frame, '\x01');
    const std::string after = "id3 " + std::string(4 + frame * 2, '\x7F');
    for (const int stated : {3, 0}) {
        SCOPED_TRACE(stated);
        write_file(name, header_bytes(make_header(c.type, c.channels, 8000, stated)) + samples + after);
        const size_t frames = stated > 0 ? 3 : (samples.size() + after.size()) / frame;
        audio_header h{};
        EXPECT_EQ(decode_file(name, &h).size(), frames * static_cast<size_t>(c.channels));
        audio_file* file = open_audio_file(name.c_str(), "r", &h);
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(seek_audio_file(file, 2, SEEK_SET), 0);
        std::vector<double> block(frames * static_cast<size_t>(c.channels));
        int got = 0;
        EXPECT_EQ(read_audio_frames(block.data(), static_cast<int>(frames), &got, file), 0);
        EXPECT_EQ(got, static_cast<int>(frames) - 2);
        close_audio_file(file);
    }
}

INSTANTIATE_TEST_SUITE_P(families, data_end,
                         testing::Values(end_case{AUDIO_SUN_16, 2}, end_case{AUDIO_SUN_D, 1}, end_case{AUDIO_WAVE_8, 1},
                                         end_case{AUDIO_WAVE_24, 2}, end_case{AUDIO_AIFF_16, 1}, end_case{AUDIO_AIFC_8, 3},
                                         end_case{AUDIO_SPW, 1}, end_case{AUDIO_SPW_D, 1}, end_case{AUDIO_ILS, 2}),
                         [](const auto& info) { return type_code_name(info.param.type); });

TEST(probe, aiff_data_end_at_the_fewer_of_comm_and_ssnd)
{
    const std::string comm3 = "COMM" + be32(18) + be16(1) + be32(3) + be16(8) + std::string("\x40\x0B\xFA\0\0\0\0\0\0\0", 10);
    const std::string comm0 = "COMM" + be32(18) + be16(1) + be32(0) + be16(8) + std::string("\x40\x0B\xFA\0\0\0\0\0\0\0", 10);
    const auto ssnd = [](uint32_t size) { return "SSND" + be32(size) + be32(0) + be32(0) + "abcdef"; };
    const auto file = [](const std::string& chunks) { return "FORM" + be32(static_cast<uint32_t>(4 + chunks.size())) + "AIFF" + chunks; };
    temp_dir dir;
    const std::string name = dir.file("in.aiff");
    struct row {
        std::string bytes;
        size_t samples;
    };
    for (const row& r : {row{file(comm3 + ssnd(8 + 2)), 2}, row{file(comm3 + ssnd(8 + 6)), 3},
                         row{file(comm0 + ssnd(8 + 2)), 2}, row{file(comm0 + ssnd(0xFFFFFFFF)), 6},
                         row{file(comm3 + ssnd(0xFFFFFFFF)), 3}, row{file(comm0 + ssnd(8)), 6}}) {
        write_file(name, r.bytes);
        audio_header h{};
        EXPECT_EQ(decode_file(name, &h).size(), r.samples) << hex(r.bytes.substr(20));
    }
}

TEST(probe, spw_sees_its_first_line_after_sun_and_aiff)
{
    const std::string file = header_bytes(make_header(AUDIO_SPW, 1, 8000, 4));
    FILE* f = pipe_with(file + "abcdefgh");
    audio_header h{};
    init_audio_header(&h);
    ASSERT_EQ(read_audio_header(f, &h), 0);
    EXPECT_EQ(probe_fill, 8);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(probe_bytes), 8), "$SIGNAL_");
    EXPECT_EQ(h.type, AUDIO_SPW);
    EXPECT_EQ(h.frames, 4);
    EXPECT_EQ(h.data_offset, 232);
    std::fclose(f);
}

TEST(probe, sun_magic_is_judged_by_sun_alone)
{
    const read_result r = read_header_of(".snd" + be32(24));
    EXPECT_EQ(r.status, SUN_BROKEN);
    EXPECT_EQ(r.err, "sun: file ends inside the header\n\nError reading SUN audio file");
}

TEST(probe, form_is_judged_by_aiff_alone)
{
    const read_result r = read_header_of("FORM" + be32(100) + "AI");
    EXPECT_EQ(r.status, AIFF_BROKEN);
    EXPECT_EQ(r.err, "aiff: file ends inside the FORM header\n\nError reading AIFF/AIFC file");
}

TEST(probe, unrecognised_stream_ends_in_ils_after_512_bytes)
{
    FILE* f = pipe_with(std::string(600, 'z'));
    audio_header h{};
    testing::internal::CaptureStderr();
    EXPECT_EQ(read_audio_header(f, &h), NOT_RECOGNISED);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "\nInputfile error: filetype not recognized !\n");
    // SUN 4, AIFF 4 recorded; ILS read the other 504 header bytes.
    std::string rest(100, '\0');
    EXPECT_EQ(std::fread(rest.data(), 1, rest.size(), f), 88u);
    std::fclose(f);
}

// Pipes have no size: a header without a count reads on to the end.
TEST(probe, pipe_without_frame_count_reads_to_the_end)
{
    std::string file = header_bytes(make_header(AUDIO_AIFF_16, 1, 8000, 0));
    file += std::string("\x00\x01\x00\x02\x00\x03", 6);
    FILE* f = pipe_with(file);
    audio_header h{};
    ASSERT_EQ(read_audio_header(f, &h), 0);
    EXPECT_EQ(h.frames, (INT64_MAX - 54) / 2);
    std::fclose(f);
}

struct stdin_case {
    const char* type;
    const char* suffix;
};

class probe_stdin : public testing::TestWithParam<stdin_case> {};

// The same conversion from a named file and from standard input.
TEST_P(probe_stdin, sonomorph_reads_standard_input)
{
    temp_dir dir;
    const std::string source = dir.file(std::string("x.") + GetParam().suffix);
    ASSERT_EQ(run_tool("tonesmith", {"-c", "1", "-n", "500", "-t", GetParam().type, source}).status, 0);
    const run_result named = run_tool("sonomorph", {"-t", "wave_24", "-o", dir.file("named.wav"), source});
    ASSERT_EQ(named.status, 0) << named.err;
    const run_result piped = run_shell("cat '" + source + "' | sonomorph -t wave_24 -o '" + dir.file("piped.wav") + "'");
    ASSERT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(read_file(dir.file("piped.wav")), read_file(dir.file("named.wav")));
    EXPECT_EQ(read_file(dir.file("named.wav")).size(), 44u + 1500u);
}

INSTANTIATE_TEST_SUITE_P(families, probe_stdin,
                         testing::Values(stdin_case{"spw", "spw"}, stdin_case{"spw_d", "spw"}, stdin_case{"sun_24", "au"},
                                         stdin_case{"aiff_32", "aif"}, stdin_case{"aifc_8", "aifc"}, stdin_case{"ils_f", "ils"},
                                         stdin_case{"ils_d", "ils"}),
                         [](const auto& info) { return std::string(info.param.type); });

TEST(probe_program, unrecognised_input_message_and_status)
{
    const run_result r = run_shell("printf 'just some text\\n' | sonomorph -o /dev/null");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\nInputfile error: filetype not recognized !\n\nError opening inputfile\n");
}

}  // namespace
