// SPW signal files: the writer's lines, the reader's line rules and the
// header rewrite of a file that holds one signal of all samples.
#include "formats_helpers.h"
#include "run.h"

#include <gtest/gtest.h>

using namespace formats_test;

namespace {

const std::string fixed_header =
    "$SIGNAL_FILE 9\n"
    "$USER_COMMENT\n"
    "\n"
    "$COMMON_INFO\n"
    "SPW Version = 3.00\n"
    "System Type = sun4\n"
    "Sampling Frequency =   48000\n"
    "Starting Time = 0\n"
    "$DATA_INFO\n"
    "Number of points =        2000\n"
    "Signal Type = Fixedpoint\n"
    "Fixed Point Format = <16,15,t>\n"
    "$DATA\n";

TEST(spw_writer, fixed_point_header)
{
    const std::string h = header_bytes(make_header(AUDIO_SPW, 2, 48000, 1000));
    EXPECT_EQ(h, fixed_header);
    EXPECT_EQ(h.size(), 232u);
    const read_result r = read_header_of(h);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.header.channels, 1);
    EXPECT_EQ(r.header.frames, 2000);
    EXPECT_EQ(r.header.type, AUDIO_SPW);
    EXPECT_EQ(r.header.sfreq, 48000);
    EXPECT_EQ(r.header.data_offset, 232);
    EXPECT_EQ(r.position, 232);
    EXPECT_STREQ(r.header.comment, "\n");
    EXPECT_EQ(r.header.ils_word63, 32149);
}

TEST(spw_writer, double_header)
{
    const std::string h = header_bytes(make_header(AUDIO_SPW_D, 2, 48000, 1000));
    EXPECT_EQ(h.size(), 197u);
    EXPECT_NE(h.find("Signal Type = Double\n$DATA\n"), std::string::npos);
    EXPECT_EQ(h.find("Fixed Point"), std::string::npos);
    const read_result r = read_header_of(h);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.header.type, AUDIO_SPW_D);
    EXPECT_EQ(r.header.data_offset, 197);
}

struct comment_case {
    const char* name;
    std::string comment;
    std::string line;  // as written
};

class spw_comment : public testing::TestWithParam<comment_case> {};

// The comment line reads back so that writing it again gives the same bytes.
TEST_P(spw_comment, written_read_and_written_again_identically)
{
    const comment_case& c = GetParam();
    const std::string first = header_bytes(make_header(AUDIO_SPW, 1, 8000, 5, c.comment.c_str()));
    EXPECT_EQ(first.substr(29, c.line.size()), c.line);
    const read_result r = read_header_of(first);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(std::string(r.header.comment), c.line);
    audio_header again = r.header;
    again.frames = 5;
    EXPECT_EQ(header_bytes(again), first);
}

INSTANTIATE_TEST_SUITE_P(comments, spw_comment,
                         testing::Values(comment_case{"one_line", "abcdef", "abcdef\n"},
                                         comment_case{"ending_in_newline", "abcdef\n", "abcdef\n"},
                                         comment_case{"empty", "", "\n"}, comment_case{"two_lines", "two\nlines", "two\n"},
                                         comment_case{"longest", std::string(253, 'a'), std::string(253, 'a') + "\n"},
                                         comment_case{"too_long", std::string(255, 'b'), std::string(253, 'b') + "\n"}),
                         [](const auto& info) { return std::string(info.param.name); });

std::string spw_text(const std::string& body) { return "$SIGNAL_FILE 9\n" + body; }

struct line_case {
    const char* name;
    std::string body;
    int status;
    int type;  // expected type on success
};

class spw_lines : public testing::TestWithParam<line_case> {};

TEST_P(spw_lines, give_the_described_answer)
{
    const line_case& c = GetParam();
    const read_result r = read_header_of(spw_text(c.body) + std::string(600, '\0'));
    EXPECT_EQ(r.status, c.status) << r.err;
    if (c.status == 0) {
        EXPECT_EQ(r.header.type, c.type);
    }
    if (c.status == SPW_BROKEN) {
        EXPECT_EQ(r.err, "\nError reading SPW file");
    }
}

INSTANTIATE_TEST_SUITE_P(
    cases, spw_lines,
    testing::Values(line_case{"binary_marker", "Signal Type = Double\n$DATA BINARY\n", 0, AUDIO_SPW_D},
                    line_case{"ascii_marker", "$DATA ASCII\n", SPW_BROKEN, 0},
                    line_case{"integer", "Signal Type = Integer\n$DATA\n", 0, AUDIO_SPW},
                    line_case{"float", "Signal Type = Float\n$DATA\n", 0, AUDIO_SPW_D},
                    line_case{"blank_after_value", "Signal Type = Double \n$DATA\n", SPW_BROKEN, 0},
                    line_case{"unknown_type", "Signal Type = Complex\n$DATA\n", SPW_BROKEN, 0},
                    line_case{"other_fixed_format", "Fixed Point Format = <24,23,t>\n$DATA\n", SPW_BROKEN, 0},
                    line_case{"no_type_line_keeps_spw", "$DATA\n", 0, AUDIO_SPW},
                    line_case{"lines_without_value", "no equals sign\n\nSignal Type =\nSignal Type = \t\n$DATA\n", 0, AUDIO_SPW},
                    line_case{"end_of_file_ends_header", "Signal Type = Double\n", 0, AUDIO_SPW_D},
                    line_case{"long_line_rest_is_dropped", std::string(254, 'x') + "$DATA ASCII\n$DATA\n", 0, AUDIO_SPW},
                    line_case{"long_comment_rest_is_dropped",
                              "$USER_COMMENT\n" + std::string(260, 'c') + "Signal Type = Bogus\n$DATA\n", 0, AUDIO_SPW}),
    [](const testing::TestParamInfo<line_case>& info) { return std::string(info.param.name); });

TEST(spw_reader, long_comment_keeps_254_characters)
{
    const std::string file = spw_text("$USER_COMMENT\n" + std::string(300, 'c') + "\n$DATA\n");
    const read_result r = read_header_of(file);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(std::string(r.header.comment), std::string(254, 'c'));
    EXPECT_EQ(r.header.data_offset, static_cast<int32_t>(file.size()));
}

TEST(spw_reader, type_of_the_record_stands_without_type_line)
{
    audio_header start = make_header(AUDIO_SPW_D, 2, 1, 1);
    const read_result r = read_header_of(spw_text("$DATA\n"), &start);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.header.type, AUDIO_SPW_D);
}

TEST(spw_reader, numbers_saturate)
{
    read_result r = read_header_of(spw_text("Sampling Frequency = 99999999999999\nNumber of points = " + std::string(40, '9') + "\n$DATA\n"));
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.header.sfreq, INT32_MAX);
    EXPECT_EQ(r.header.frames, 99999999999);
    // A count below 1 states none: the data are counted.
    r = read_header_of(spw_text("Number of points = -99999999999\n$DATA\n") + "\x01\x02");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.header.frames, 1);
}

TEST(spw_reader, first_token_needs_a_blank_after_it)
{
    // "$SIGNAL_FILE" alone is not an SPW file; nothing else takes it either.
    const read_result r = read_header_of("$SIGNAL_FILE\n$DATA\n" + std::string(600, '\0'));
    EXPECT_EQ(r.status, NOT_RECOGNISED);
    const read_result tab = read_header_of("$SIGNAL_FILE\t9\n$DATA\n");
    EXPECT_EQ(tab.status, 0);
}

TEST(spw_writer, points_stay_within_their_field)
{
    const std::string h = header_bytes(make_header(AUDIO_SPW, 65535, 48000, INT32_MAX));
    EXPECT_NE(h.find("Number of points = 99999999999\n"), std::string::npos);
    EXPECT_EQ(h.size(), 232u);
}

// sonomorph writes the stereo pairs as one signal: after the rewrite the
// header states every sample.
TEST(spw_program, stereo_output_states_all_samples)
{
    temp_dir dir;
    ASSERT_EQ(run_tool("tonesmith", {"-c", "2", "-n", "300", dir.file("in.wav")}).status, 0);
    const run_result r = run_tool("sonomorph", {"-t", "spw", "-o", dir.file("x.spw"), dir.file("in.wav")});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string spw = read_file(dir.file("x.spw"));
    EXPECT_NE(spw.find("Number of points =         600\n"), std::string::npos);
    EXPECT_EQ(spw.size(), 232u + 1200u);
    const std::string wav = read_file(dir.file("in.wav"));
    audio_header h{};
    const std::vector<double> values = decode_file(dir.file("x.spw"), &h);
    ASSERT_EQ(values.size(), 600u);
    EXPECT_EQ(h.frames, 600);
    for (size_t i = 0; i < values.size(); ++i)
        ASSERT_EQ(values[i], static_cast<int16_t>(load_le16(reinterpret_cast<const unsigned char*>(wav.data()) + 44 + 2 * i))) << i;
}

}  // namespace

namespace {

TEST(spw_reader, without_a_count_the_data_tell_the_frames)
{
    // Neither a missing "Number of points" line nor one of 0 leaves the
    // count the record happened to hold: both count the 16-bit data.
    audio_header start{};
    init_audio_header(&start);
    start.frames = 1234;
    for (const std::string body : {"$DATA\n", "Number of points = 0\n$DATA\n"}) {
        const std::string head = spw_text(body);
        const read_result r = read_header_of(head + std::string(6, '\1'), &start);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.header.frames, 3) << body;
        EXPECT_EQ(r.header.data_offset, static_cast<int>(head.size()));
    }
}

}  // namespace
