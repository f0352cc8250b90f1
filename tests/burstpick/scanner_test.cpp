// The burst scanner on carriers built here: word search, preamble decoding,
// selection and counting, pause handling, type changes and the log.
#include "burst_builder.h"

#include "bitstream.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct scan_result {
    int status = -1;
    std::string output, extension, log, err;
    burst_scan scan;
};

scan_result run_scan(const std::string& input_bytes, const burst_options& options, word_order order,
                     bool with_extension = false)
{
    scan_result r;
    FILE* input = stream_of(input_bytes);
    burst_outputs outputs;
    outputs.output = std::tmpfile();
    outputs.output_name = "out";
    outputs.log = std::tmpfile();
    if (with_extension) {
        outputs.extension = std::tmpfile();
        outputs.extension_open = true;
    }
    testing::internal::CaptureStderr();
    r.status = scan_bursts(input, order, options, outputs, r.scan);
    r.err = testing::internal::GetCapturedStderr();
    flush_output(outputs);
    r.output = stream_contents(outputs.output);
    r.log = stream_contents(outputs.log);
    if (outputs.extension != nullptr) {
        r.extension = stream_contents(outputs.extension);
        std::fclose(outputs.extension);
    }
    std::fclose(outputs.output);
    std::fclose(outputs.log);
    std::fclose(input);
    return r;
}

scan_result run_scan(const word_row& row, const burst_options& options = {},
                     word_order order = word_order::little_endian, bool with_extension = false)
{
    return run_scan(row.bytes(order), options, order, with_extension);
}

burst_options verbose_options()
{
    burst_options o;
    o.verbose = true;
    return o;
}

TEST(burstpick_scan, burst_at_the_very_start_is_at_position_zero)
{
    const auto r = run_scan(word_row{}.burst(pc_of(1, 0, false, 5), "abcd"), verbose_options());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.log, "sync at pos:        0 off:      0 type: 1 nr: 0 bytes: 4 bsmod: 5\n"
                     "IEC-61937 bitstream: type: 1\n");
    EXPECT_EQ(r.output, "abcd");
    EXPECT_EQ(r.scan.frames_extracted, 1);
}

TEST(burstpick_scan, sync_across_a_stereo_frame_is_found)
{
    // Pa in the right channel of frame 1, Pb in the left channel of frame 2.
    const auto r = run_scan(word_row{}.stuffing(3).burst(pc_of(1), "wxyz").stuffing(5).burst(pc_of(1), "12"),
                            verbose_options());
    EXPECT_EQ(r.log, "sync at pos:        3 off:      3 type: 1 nr: 0 bytes: 4 bsmod: 0\n"
                     "IEC-61937 bitstream: type: 1\n"
                     "sync at pos:       14 off:     11 type: 1 nr: 0 bytes: 2 bsmod: 0\n");
    EXPECT_EQ(r.output, "wxyz12");
}

TEST(burstpick_scan, both_word_orders_read_the_same_stream)
{
    const word_row row = word_row{}.stuffing(1).burst(pc_of(5), pattern(37, 1)).stuffing(2).burst(pc_of(5), pattern(64, 2));
    // The raw file bytes: a little-endian sync reads 72 F8 1F 4E.
    EXPECT_EQ(row.bytes(word_order::little_endian).substr(2, 4), "\x72\xF8\x1F\x4E");
    EXPECT_EQ(row.bytes(word_order::big_endian).substr(2, 4), "\xF8\x72\x4E\x1F");
    for (const word_order order : {word_order::little_endian, word_order::big_endian}) {
        const auto r = run_scan(row, {}, order);
        EXPECT_EQ(r.output, pattern(37, 1) + pattern(64, 2)) << "Pd 296 bits: 37 bytes, the pad byte unwritten";
        EXPECT_EQ(r.scan.frames_extracted, 2);
    }
    // A sync in the other byte order is no sync.
    const auto wrong = run_scan(row.bytes(word_order::big_endian), {}, word_order::little_endian);
    EXPECT_EQ(wrong.scan.frames_extracted, 0);
}

TEST(burstpick_scan, sync_bytes_off_the_word_grid_are_no_sync)
{
    // The same bytes one byte later: every word is split across two words.
    const std::string bytes = word_row{}.burst(pc_of(1), "abcd").bytes(word_order::little_endian);
    EXPECT_EQ(run_scan(bytes, {}, word_order::little_endian).output, "abcd");
    EXPECT_EQ(run_scan('\x55' + bytes + '\x55', {}, word_order::little_endian).scan.frames_extracted, 0);
}

TEST(burstpick_scan, odd_length_code_reads_whole_words_writes_whole_bytes)
{
    // Pd 20 bits: 3 bytes written from 2 words read; the 4th byte is read
    // (it enters the hash) but not written.
    burst_options o = verbose_options();
    o.unique = true;
    const std::string words = "PQRS";
    const auto r = run_scan(word_row{}.burst(pc_of(1), words, 20).burst(pc_of(1), "tu"), o);
    EXPECT_EQ(r.output, "PQRtu");
    const auto* bytes = reinterpret_cast<const unsigned char*>(words.data());
    char expected[160];
    std::snprintf(expected, sizeof expected,
                  "IEC-61937 bitstream: type: 1\n"
                  "sync at pos:        0 off:      0 type: 1 nr: 0 bytes: 3 unique: %08x bsmod: 0\n",
                  frame_hash(bytes, 4));
    EXPECT_EQ(r.log.substr(0, std::string(expected).size()), expected);
}

TEST(burstpick_scan, zero_length_burst_counts_and_writes_nothing)
{
    const auto r = run_scan(word_row{}.burst(pc_of(1), "", 0).burst(pc_of(1), "ab"), verbose_options());
    EXPECT_EQ(r.output, "ab");
    EXPECT_EQ(r.scan.frames_extracted, 2);
    EXPECT_NE(r.log.find("sync at pos:        4 off:      4 type: 1 nr: 0 bytes: 2"), std::string::npos);
}

TEST(burstpick_scan, search_restarts_after_the_payload)
{
    // The last payload word is Pa and the next word Pb: no burst starts
    // there, so the "burst" behind it (Pd 16 bits, "zz") is never seen.
    word_row row;
    row.burst(pc_of(1), std::string("ab\xF8\x72", 4));
    row.words.insert(row.words.end(), {BURST_SYNC_B, pc_of(1), 16, 0x7A7A});
    row.burst(pc_of(1), "cd");
    const auto r = run_scan(row);
    EXPECT_EQ(r.output, std::string("ab\xF8\x72", 4) + "cd");
    EXPECT_EQ(r.scan.frames_extracted, 2);
}

TEST(burstpick_scan, repeated_first_sync_word_is_passed_over)
{
    word_row row;
    row.words = {BURST_SYNC_A};
    row.burst(pc_of(1), "ok");
    EXPECT_EQ(run_scan(row, verbose_options()).log.substr(0, 14), "sync at pos:  ");
    EXPECT_NE(run_scan(row, verbose_options()).log.find("pos:        1 off:      1"), std::string::npos);
}

TEST(burstpick_scan, burst_cut_off_by_the_end_is_not_written_or_counted)
{
    const word_row whole = word_row{}.burst(pc_of(1), "good").burst(pc_of(1), "cut off here");
    for (const size_t keep : {size_t{0}, size_t{1}, size_t{3}, size_t{8}, size_t{10}}) {
        std::string bytes = whole.bytes(word_order::little_endian);
        const size_t second = 2 * (4 + 2);  // start of the second burst
        bytes.resize(second + keep);
        const auto r = run_scan(bytes, verbose_options(), word_order::little_endian);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.output, "good") << keep;
        EXPECT_EQ(r.scan.frames_extracted, 1) << keep;
        EXPECT_EQ(r.log.find("pos:        6"), std::string::npos) << "a cut-off burst is not reported";
    }
}

TEST(burstpick_scan, largest_length_code_fits_the_payload_buffer)
{
    const std::string big = pattern(8192, 3);
    const auto r = run_scan(word_row{}.burst(pc_of(1), big, 65535).burst(pc_of(1), "ab"));
    EXPECT_EQ(r.output, big + "ab");
}

// Pd counts bytes for data types 17, 21 and 22, bits for the others; the
// burst's own type decides, whatever -T forces.  A second burst behind
// shows that the scan went on from the right word.
struct length_case {
    const char* name;
    int data_type, forced_type, pd;
    size_t payload, written;  // bytes in the burst, bytes that count
};

void PrintTo(const length_case& c, std::ostream* os) { *os << c.name; }

class burstpick_length_unit : public testing::TestWithParam<length_case> {};

TEST_P(burstpick_length_unit, follows_the_data_type)
{
    const length_case& c = GetParam();
    burst_options o;
    o.forced_type = c.forced_type;
    const std::string payload = pattern(c.payload, 4);
    const bool bytes = c.data_type == 17 || c.data_type == 21 || c.data_type == 22;
    const auto r = run_scan(word_row{}.burst(pc_of(c.data_type), payload, c.pd).burst(pc_of(c.data_type), "zz", bytes ? 2 : 16), o);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.output == payload.substr(0, c.written) + "zz");
    EXPECT_EQ(r.scan.frames_extracted, 2);
}

INSTANTIATE_TEST_SUITE_P(types, burstpick_length_unit,
                         testing::Values(length_case{"eac3_frame", 21, -1, 768, 768, 768},
                                         length_case{"dts_type_iv_odd", 17, -1, 1001, 1001, 1001},
                                         length_case{"mat_largest", 22, -1, 65535, 65535, 65535},
                                         length_case{"eac3_forced_to_ac3", 21, 1, 768, 768, 768},
                                         length_case{"ac3_forced_to_eac3", 1, 21, 768, 96, 96},
                                         length_case{"type_20_in_bits", 20, -1, 800, 100, 100},
                                         length_case{"type_23_in_bits", 23, -1, 65535, 8192, 8192}),
                         [](const auto& info) { return std::string(info.param.name); });

// MAT frames around TrueHD access units, as ffmpeg frames them.
std::string mat_frame(std::string units)
{
    units.resize(61376, '\0');
    return std::string("\x07\x9E\x00\x03\x84\x01\x01\x01\x80\x00\x56\xA5\x3B\xF4\x81\x83\x49\x80\x77\xE0", 20) +
           units.substr(0, 30688) + std::string("\xC3\xC1\x42\x49\x3B\xFA\x82\x83\x49\x80\x77\xE0", 12) +
           units.substr(30688) + std::string("\xC3\xC2\xC0\xC4\0\0\0\0\0\0\0\0\0\0\x97\x11", 16);
}

std::string access_unit(size_t length, int seed)
{
    std::string u = pattern(length, seed);
    u[0] = static_cast<char>(0xF0 | length / 2 >> 8);
    u[1] = static_cast<char>(length / 2);
    return u;
}

// Units across the middle code and into the next frame come out whole, where
// the burst they begin in is written.
TEST(burstpick_scan, mat_frames_give_whole_access_units)
{
    const std::string u1 = access_unit(100, 1), u2 = access_unit(400, 2), u3 = access_unit(60, 3);
    const std::string first = std::string(30648, '\0') + u1 + std::string(30478, '\0') + u2.substr(0, 150);
    const word_row row =
        word_row{}.burst(pc_of(22), mat_frame(first), 61424).burst(pc_of(22), mat_frame(u2.substr(150) + u3), 61424);
    for (const auto& [first_frame, end_frame, output] :
         std::vector<std::tuple<int, int, std::string>>{{0, 9, u1 + u2 + u3}, {1, 9, u3}, {0, 1, u1 + u2}}) {
        burst_options o;
        o.first_frame = first_frame, o.end_frame = end_frame;
        EXPECT_TRUE(run_scan(row, o).output == output) << first_frame << " " << end_frame;
    }
}

// Bursts of every length around the read block edges: each burst lands on a
// different offset relative to the blocks, so syncs and payloads straddle
// block boundaries in every way.
TEST(burstpick_scan, bursts_straddling_read_blocks_are_whole)
{
    word_row row;
    std::string expected;
    int seed = 0;
    while (row.words.size() < (3u << 20) / 2) {
        const size_t length = static_cast<size_t>(1 + seed * 97 % 6000);
        const std::string payload = pattern(length, seed);
        row.burst(pc_of(1), payload).stuffing(static_cast<size_t>(seed % 5));
        expected += payload;  // the pad byte of an odd payload is never written
        ++seed;
    }
    for (const word_order order : {word_order::little_endian, word_order::big_endian}) {
        const auto r = run_scan(row, {}, order);
        EXPECT_EQ(r.scan.frames_extracted, seed);
        EXPECT_TRUE(r.output == expected);
    }
}

// -b, -e, -s, -t, -r, -T and -p decide which bursts count and which are written.
struct selection_case {
    const char* name;
    burst_options options;
    std::string expected_output;
    int64_t extracted;
    int64_t frame_index;  // where the scan stopped
};

// Bursts: A0 (type 1), B1 (type 1, stream 1), C2 (type 5), D3 (type 1, error
// flag), E4 (pause), F5 (null), G6 (type 1), H7 (type 1).
word_row selection_row()
{
    return word_row{}
        .burst(pc_of(1), "A0")
        .burst(pc_of(1, 1), "B1")
        .burst(pc_of(5), "C2")
        .burst(pc_of(1, 0, true), "D3")
        .burst(pc_of(3), "E4")
        .burst(pc_of(0), "F5")
        .burst(pc_of(1), "G6")
        .burst(pc_of(1), "H7");
}

burst_options with(void (*set)(burst_options&))
{
    burst_options o;
    set(o);
    return o;
}

std::vector<selection_case> selection_cases()
{
    return {
        {"defaults", {}, "A0C2D3G6H7", 5, 4},
        {"first_and_end", with([](burst_options& o) { o.first_frame = 2, o.end_frame = 4; }), "D3G6", 2, 4},
        {"end_zero_writes_nothing", with([](burst_options& o) { o.end_frame = 0; }), "", 0, 0},
        {"negative_end_stops_at_first_burst", with([](burst_options& o) { o.end_frame = -1, o.stream_number = 1; }),
         "", 0, -1},
        {"stream_one", with([](burst_options& o) { o.stream_number = 1; }), "B1", 1, 0},
        {"wanted_type", with([](burst_options& o) { o.wanted_type = 5; }), "C2", 1, 0},
        {"unwanted_type", with([](burst_options& o) { o.unwanted_type = 1; }), "C2", 1, 0},
        {"discard_errors_renumbers",
         with([](burst_options& o) { o.discard_errors = true, o.first_frame = 2, o.end_frame = 3; }), "G6", 1, 3},
        {"forced_type_takes_pause_and_null", with([](burst_options& o) { o.forced_type = 1; }), "A0C2D3E4F5G6H7", 7,
         6},
        {"forced_pause_selects_nothing", with([](burst_options& o) { o.forced_type = 3; }), "", 0, -1},
    };
}

void PrintTo(const selection_case& c, std::ostream* os) { *os << c.name; }

class burstpick_selection : public testing::TestWithParam<selection_case> {};

TEST_P(burstpick_selection, writes_the_selected_range)
{
    const selection_case& c = GetParam();
    const auto r = run_scan(selection_row(), c.options);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.output, c.expected_output);
    EXPECT_EQ(r.scan.frames_extracted, c.extracted);
    EXPECT_EQ(r.scan.frame_index, c.frame_index);
}

INSTANTIATE_TEST_SUITE_P(cases, burstpick_selection, testing::ValuesIn(selection_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(burstpick_scan, end_frame_stops_the_scan_after_reading_that_burst)
{
    burst_options o = verbose_options();
    o.first_frame = 2;
    o.end_frame = 4;
    word_row row;
    for (int i = 0; i < 6; ++i)
        row.burst(pc_of(1), std::string{'b', static_cast<char>('0' + i)});
    // Bursts 2 and 3 are written; burst 4 (at word 20) is read and reported,
    // then the scan ends before burst 5.
    const auto r = run_scan(row, o);
    EXPECT_EQ(r.output, "b2b3");
    EXPECT_NE(r.log.find("sync at pos:       20"), std::string::npos);
    EXPECT_EQ(r.log.find("sync at pos:       25"), std::string::npos);
}

TEST(burstpick_scan, error_flag_is_reported)
{
    const auto r = run_scan(word_row{}.burst(pc_of(1, 0, true), "ab"), verbose_options());
    EXPECT_EQ(r.log.substr(0, r.log.find('\n') + 1),
              "sync at pos:        0 off:      0 type: 1 nr: 0 bytes: 2 bsmod: 0 ERROR bit SET!\n");
    EXPECT_EQ(r.output, "ab");
}

struct report_case {
    uint16_t pc;
    const char* line;
};

void PrintTo(const report_case& c, std::ostream* os) { *os << "Pc " << c.pc; }

class burstpick_report : public testing::TestWithParam<report_case> {};

TEST_P(burstpick_report, follow_the_type)
{
    const report_case& c = GetParam();
    burst_options o = verbose_options();
    o.stream_number = 7;  // nothing is selected: only the report is written
    const auto r = run_scan(word_row{}.burst(c.pc, "ab"), o);
    const std::string head = "sync at pos:        0 off:      0 type: " + std::to_string(c.pc & 0x1F) +
                             " nr: " + std::to_string(c.pc >> 13) + " bytes: 2";
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.log, head + c.line);
}

INSTANTIATE_TEST_SUITE_P(types, burstpick_report,
                         testing::Values(report_case{pc_of(1, 0, false, 7), " bsmod: 7\n"},
                                         report_case{pc_of(4, 2, false, 1), " karaoke bit SET\n"},
                                         report_case{pc_of(5, 0, false, 2), " DRC bit SET\n"},
                                         report_case{pc_of(9, 0, false, 3), " karaoke bit SET DRC bit SET\n"},
                                         report_case{pc_of(6), "\n"}, report_case{pc_of(8), "\n"},
                                         report_case{pc_of(2), "\n"}, report_case{pc_of(3), "\n"},
                                         report_case{pc_of(11, 0, false, 7), "\n"}, report_case{pc_of(13), "\n"},
                                         report_case{pc_of(0), "\n"}, report_case{pc_of(7, 0, false, 3), "\n"},
                                         report_case{pc_of(10, 0, false, 3), " karaoke bit SET DRC bit SET\n"},
                                         report_case{pc_of(14), "\n"}, report_case{pc_of(31), "\n"}),
                         [](const auto& info) { return "type_" + std::to_string(info.param.pc & 0x1F); });

TEST(burstpick_scan, unsupported_type_is_extracted_without_a_report)
{
    const auto r = run_scan(word_row{}.burst(pc_of(18), "xy").burst(pc_of(14), "zz"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "xyzz");
    EXPECT_EQ(r.log, "IEC-61937 bitstream: type: 18\nchange of stream type: from: 18 to: 14\n");
}

TEST(burstpick_scan, unique_report_follows_the_event_lines)
{
    burst_options o = verbose_options();
    o.unique = true;
    const auto r = run_scan(word_row{}.burst(pc_of(1), "ab").burst(pc_of(5), "cd"), o);
    const auto hash = [](const char* s) { return frame_hash(reinterpret_cast<const unsigned char*>(s), 2); };
    char expected[400];
    std::snprintf(expected, sizeof expected,
                  "IEC-61937 bitstream: type: 1\n"
                  "sync at pos:        0 off:      0 type: 1 nr: 0 bytes: 2 unique: %08x bsmod: 0\n"
                  "change of stream type: from: 1 to: 5\n"
                  "sync at pos:        5 off:      5 type: 5 nr: 0 bytes: 2 unique: %08x\n",
                  hash("ab"), hash("cd"));
    EXPECT_EQ(r.log, expected);
    // Without -v, -u changes nothing.
    burst_options quiet;
    quiet.unique = true;
    EXPECT_EQ(run_scan(word_row{}.burst(pc_of(1), "ab"), quiet).log, "IEC-61937 bitstream: type: 1\n");
}

TEST(burstpick_scan, type_change_is_logged_once_and_stays_in_one_output)
{
    const auto r = run_scan(
        word_row{}.burst(pc_of(1), "a1").burst(pc_of(5), "b5").burst(pc_of(5), "c5").burst(pc_of(1), "d1"));
    EXPECT_EQ(r.output, "a1b5c5d1");
    EXPECT_EQ(r.log, "IEC-61937 bitstream: type: 1\n"
                     "change of stream type: from: 1 to: 5\n"
                     "change of stream type: from: 5 to: 1\n");
}

struct pause_case {
    const char* name;
    word_row row;
    int status;
    const char* err;
};

std::vector<pause_case> pause_cases()
{
    return {
        {"before_any_stream", word_row{}.burst(pc_of(3), "pp").burst(pc_of(2), "tc"), 0, ""},
        {"in_ac3", word_row{}.burst(pc_of(1), "a1").burst(pc_of(3), "pp").burst(pc_of(1), "b1"), 0, ""},
        {"in_mpeg", word_row{}.burst(pc_of(5), "a5").burst(pc_of(3), "pp"), 0, ""},
        {"in_dts", word_row{}.burst(pc_of(12), "a5").burst(pc_of(3), "pp"), 0, ""},
        {"in_type_2", word_row{}.burst(pc_of(2), "tc").burst(pc_of(3), "pp"), 1,
         "pause frames for stream type: 2 not supported\n"},
        {"in_aac", word_row{}.burst(pc_of(7), "t7").burst(pc_of(3), "pp"), 0, ""},
        {"of_another_stream", word_row{}.burst(pc_of(2), "tc").burst(pc_of(3, 4), "pp"), 0, ""},
    };
}

void PrintTo(const pause_case& c, std::ostream* os) { *os << c.name; }

class burstpick_pause : public testing::TestWithParam<pause_case> {};

TEST_P(burstpick_pause, follows_the_current_type)
{
    const pause_case& c = GetParam();
    const auto r = run_scan(c.row);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.output.find("pp"), std::string::npos) << "a pause is never written";
}

INSTANTIATE_TEST_SUITE_P(cases, burstpick_pause, testing::ValuesIn(pause_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(burstpick_scan, change_to_extension_type_needs_an_extension_stream)
{
    const auto r = run_scan(word_row{}.burst(pc_of(5), "m5").burst(pc_of(6), pattern(40, 1)));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Stream contains extension, use -E or -O option to specify a filename.\n");
    EXPECT_EQ(r.output, "m5");
}

TEST(burstpick_scan, interleave_keeps_extension_bursts_whole)
{
    burst_options o;
    o.interleave = true;
    const std::string payload = pattern(40, 1);
    const auto r = run_scan(word_row{}.burst(pc_of(6), payload), o);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, payload);
}

TEST(burstpick_scan, input_read_error_is_reported)
{
    // A stream opened for writing only cannot be read.
    FILE* input = std::tmpfile();
    FILE* unreadable = std::fopen("/dev/null", "w");
    burst_outputs outputs;
    outputs.output = input;
    outputs.log = input;
    burst_scan scan;
    testing::internal::CaptureStderr();
    const int status = scan_bursts(unreadable, word_order::little_endian, {}, outputs, scan);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error reading inputfile\n");
    EXPECT_EQ(status, 1);
    std::fclose(unreadable);
    std::fclose(input);
}

}  // namespace
