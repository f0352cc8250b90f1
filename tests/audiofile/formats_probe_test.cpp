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
                                         family_case{AUDIO_ILS_F, 2, 512}));

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
    EXPECT_EQ(h.frames, static_cast<int32_t>((UINT32_MAX - 54u) / 2u));
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
                                         stdin_case{"ils_d", "ils"}));

TEST(probe_program, unrecognised_input_message_and_status)
{
    const run_result r = run_shell("printf 'just some text\\n' | sonomorph -o /dev/null");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\nInputfile error: filetype not recognized !\n\nError opening inputfile\n");
}

}  // namespace
