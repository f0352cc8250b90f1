#include "framesnip.h"

#include "../bitstream/cut_harness.h"
#include "bitstream.h"
#include "run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// ---- header decoding and frame lengths ------------------------------------

struct header_case {
    const char* name;
    unsigned char b1, b2;  // second and third header bytes
    int version, layer, sfreq, length;
};

class mpeg_headers : public testing::TestWithParam<header_case> {};

TEST_P(mpeg_headers, decode_and_length)
{
    const header_case& c = GetParam();
    const unsigned char bytes[4] = {0xFF, c.b1, c.b2, 0xC4};
    const mpeg_header header = decode_mpeg_header(bytes);
    EXPECT_EQ(header.version, c.version);
    EXPECT_EQ(mpeg_layer(header), c.layer);
    EXPECT_EQ(mpeg_sampling_frequency(header), c.sfreq);
    EXPECT_EQ(mpeg_frame_length(header), c.length);
}

INSTANTIATE_TEST_SUITE_P(
    lengths, mpeg_headers,
    testing::Values(header_case{"l3_128k_44k", 0xFB, 0x90, 1, 3, 44100, 417},
                    header_case{"l3_128k_44k_padded", 0xFB, 0x92, 1, 3, 44100, 418},
                    header_case{"l3_lsf_64k_22k", 0xF3, 0x80, 0, 3, 22050, 208},
                    header_case{"l1_384k_48k", 0xFF, 0xC4, 1, 1, 48000, 384},
                    header_case{"l1_384k_48k_padded", 0xFF, 0xC6, 1, 1, 48000, 388},
                    header_case{"l2_384k_32k_padded_longest", 0xFD, 0xEA, 1, 2, 32000, 1729},
                    header_case{"l2_192k_48k", 0xFD, 0xA4, 1, 2, 48000, 576},
                    header_case{"l1_lsf_32k_16k", 0xF7, 0x18, 0, 1, 16000, 96},
                    header_case{"l2_lsf_8k_24k", 0xF5, 0x14, 0, 2, 24000, 48},
                    header_case{"l3_lsf_160k_16k_padded", 0xF3, 0xEA, 0, 3, 16000, 721},
                    header_case{"l3_320k_32k", 0xFB, 0xE8, 1, 3, 32000, 1440},
                    header_case{"free_format", 0xFB, 0x00, 1, 3, 44100, 0},
                    header_case{"bitrate_15", 0xFB, 0xF0, 1, 3, 44100, 0},
                    header_case{"reserved_sfreq", 0xFB, 0x9C, 1, 3, 0, 0},
                    header_case{"reserved_layer", 0xF9, 0x90, 1, 4, 44100, 0},
                    header_case{"l1_2_5_128k_12k", 0xE7, 0x84, 25, 1, 12000, 512},
                    header_case{"l2_2_5_160k_8k_padded_longest", 0xE5, 0xEA, 25, 2, 8000, 2881},
                    header_case{"reserved_version", 0xEB, 0x90, -1, 3, 0, 0}),
    [](const testing::TestParamInfo<header_case>& info) { return std::string(info.param.name); });

// ---- streams built in the test ---------------------------------------------

// A frame with the given second and third header bytes, filled with `fill`
// (never 0xFF, so that no sync hides in the body).
std::string frame(unsigned char b1, unsigned char b2, size_t length, unsigned char fill)
{
    std::string bytes(length, static_cast<char>(fill));
    bytes[0] = '\xFF';
    bytes[1] = static_cast<char>(b1);
    bytes[2] = static_cast<char>(b2);
    bytes[3] = '\xB3';
    return bytes;
}

// MPEG-2 Layer II, 8 kbit/s at 24 kHz: 48 bytes.
std::string small(unsigned char fill) { return frame(0xF5, 0x14, 48, fill); }

std::string frames(int count)
{
    std::string bytes;
    for (int i = 0; i < count; ++i)
        bytes += small(static_cast<unsigned char>(i + 1));
    return bytes;
}

framesnip_settings with(const std::vector<const char*>& options)
{
    return settings_from(framesnip_options, "framesnip", options);
}

cut_result cut(const framesnip_settings& settings, const std::string& input)
{
    return run_cut(framesnip_cut, settings, input);
}

std::string line(const char* format, long a, long b, long c)
{
    char text[200];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

std::string frame_line(long frame, long pos, long len)
{
    return line("start of frame: %8ld at pos: %10ld len: %6ld\n", frame, pos, len);
}

std::string summary(long frames, long bytes)
{
    char text[100];
    std::snprintf(text, sizeof text, "Frames: %8ld bytes: %10ld\n", frames, bytes);
    return text;
}

const std::string LSF_L2 = "MPEG bitstream: version: 0 layer: 2 sampl. freq. = 24000\n";

TEST(framesnip_cut, back_to_back_frames_logged_and_copied)
{
    const std::string input = frames(3);
    const cut_result r = cut(with({"-l"}), input);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, input);
    EXPECT_EQ(r.log, LSF_L2 + frame_line(0, 0, 48) + frame_line(1, 48, 48) + frame_line(2, 96, 48) +
                         "Frames:        3 bytes:        144\n");
    EXPECT_EQ(r.err, "");
}

TEST(framesnip_cut, leading_garbage_is_silent_and_stray_bytes_are_reported)
{
    // 0xFF 0x00 and an MPEG-2.5 header (eleven ones, then a zero) are no sync.
    const std::string lead = bytes_of({0x00, 0x12, 0xFF, 0x00, 0xFF, 0xE3, 0x18, 0x00});
    const std::string input = lead + small(1) + bytes_of({0xAB, 0xCD}) + small(2) + bytes_of({0xFF, 0xE3}) + small(3);
    const cut_result r = cut(with({"-l"}), input);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, small(1) + small(2) + small(3));
    EXPECT_EQ(r.log, LSF_L2 + frame_line(0, 8, 48) + "nosync of frame:        0 at pos:         56 byte: cd\n" +
                         "nosync of frame:        0 at pos:         57 byte: ff\n" + frame_line(1, 58, 48) +
                         "nosync of frame:        1 at pos:        106 byte: e3\n" +
                         "nosync of frame:        1 at pos:        107 byte: ff\n" + frame_line(2, 108, 48) +
                         summary(3, 156));
}

TEST(framesnip_cut, header_error_stops_without_v)
{
    const std::string bad = frame(0xF5, 0xF4, 48, 0x22);  // bitrate index 15
    const cut_result r = cut(with({}), small(1) + bad + small(2));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, small(1));
    EXPECT_EQ(r.log, LSF_L2);
    EXPECT_EQ(r.err, "Error: Illegal bit_rate index (0 or 15) in frame:        1 at pos:         48 byte: b3\n");
}

TEST(framesnip_cut, header_errors_with_v_skip_the_header_and_keep_the_numbering)
{
    // Layer 0, bitrate index 0 and the reserved sampling frequency at once.
    const std::string bad = bytes_of({0xFF, 0xF1, 0x0C, 0xB3});
    const std::string input = small(1) + bad + small(2);
    const cut_result r = cut(with({"-v", "-l"}), input);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, small(1) + small(2));
    EXPECT_EQ(r.log, LSF_L2 + frame_line(0, 0, 48) +
                         "Error: Illegal layer (0) in frame:        1 at pos:         48 byte: b3\n"
                         "Error: Illegal bit_rate index (0 or 15) in frame:        1 at pos:         48 byte: b3\n"
                         "Error: reserved sampling rate in frame:        1 at pos:         48 byte: b3\n" +
                         frame_line(1, 52, 48) + summary(2, 100));
    EXPECT_EQ(r.err, "");
}

TEST(framesnip_cut, bad_first_header_with_v_leaves_number_zero_to_the_next)
{
    const cut_result r = cut(with({"-v", "-l"}), bytes_of({0xFF, 0xF5, 0xF4, 0xB3}) + small(1));
    EXPECT_EQ(r.log, "Error: Illegal bit_rate index (0 or 15) in frame:        0 at pos:          0 byte: b3\n" +
                         LSF_L2 + frame_line(0, 4, 48) + summary(1, 52));
}

TEST(framesnip_cut, layer_change_is_a_warning_in_both_modes)
{
    // MPEG-2 Layer I, 32 kbit/s at 24 kHz: 64 bytes.
    const std::string layer1 = frame(0xF7, 0x14, 64, 0x33);
    for (const char* mode : {"-l", "-v"}) {
        const cut_result r = cut(with({mode}), small(1) + layer1 + small(2));
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, small(1) + layer1 + small(2));
        EXPECT_NE(r.log.find("Warning: decoded layer changed from 2 to 1.\n"), std::string::npos) << r.log;
        EXPECT_NE(r.log.find("Warning: decoded layer changed from 1 to 2.\n"), std::string::npos) << r.log;
        EXPECT_NE(r.log.find(summary(3, 160)), std::string::npos);
    }
}

TEST(framesnip_cut, version_change)
{
    // MPEG-1 Layer II, 32 kbit/s at 48 kHz: 96 bytes.
    const std::string mpeg1 = frame(0xFD, 0x14, 96, 0x44);
    const cut_result stop = cut(with({}), small(1) + mpeg1);
    EXPECT_EQ(stop.status, 1);
    EXPECT_EQ(stop.err, "Error: decoded version change.\n");
    EXPECT_EQ(stop.out, small(1));

    const cut_result go_on = cut(with({"-v"}), small(1) + mpeg1 + small(2));
    EXPECT_EQ(go_on.status, 0);
    EXPECT_EQ(go_on.out, small(1) + mpeg1 + small(2));
    EXPECT_EQ(go_on.log, LSF_L2 +
                             "Error: decoded version change 0 -> 1.\n"
                             "Error: decoded sampl. freq. change 24000 -> 48000.\n"
                             "Error: decoded version change 1 -> 0.\n"
                             "Error: decoded sampl. freq. change 48000 -> 24000.\n" +
                             summary(3, 192));
}

TEST(framesnip_cut, sampling_frequency_change)
{
    // MPEG-2 Layer II, 8 kbit/s at 22.05 kHz: 52 bytes.
    const std::string other = frame(0xF5, 0x10, 52, 0x55);
    const cut_result stop = cut(with({}), small(1) + other);
    EXPECT_EQ(stop.status, 1);
    EXPECT_EQ(stop.err, "Error: decoded sampl. freq. change.\n");
    const cut_result go_on = cut(with({"-v"}), small(1) + other);
    EXPECT_EQ(go_on.status, 0);
    EXPECT_EQ(go_on.log, LSF_L2 + "Error: decoded sampl. freq. change 24000 -> 22050.\n" + summary(2, 100));
}

TEST(framesnip_cut, empty_input)
{
    const cut_result plain = cut(with({"-l"}), "");
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.out, "");
    EXPECT_EQ(plain.log, "Frames:        0 bytes:         -1\n");
    const cut_result adc = cut(with({"-a"}), "");
    EXPECT_EQ(adc.status, 0);
    EXPECT_EQ(adc.out, std::string(ADC_HEADER_BYTES, '\0'));
}

TEST(framesnip_cut, garbage_only_gives_no_lines)
{
    const cut_result r = cut(with({"-l"}), bytes_of({1, 2, 3, 0xFF}));
    EXPECT_EQ(r.log, summary(0, 3));
    EXPECT_EQ(r.out, "");
}

// ---- tags around the frames -----------------------------------------------

// An ID3v2 tag of the given version and flags whose body (and footer, with
// flag 0x10) is `size` bytes of text that passes for syncs: UTF-16 begins
// FF FE, and pictures hold FF FB and FF F3.
std::string id3v2(int version, int flags, size_t size)
{
    std::string tag = "ID3" + bytes_of({version, 0, flags, static_cast<int>(size >> 21 & 0x7F),
                                        static_cast<int>(size >> 14 & 0x7F), static_cast<int>(size >> 7 & 0x7F),
                                        static_cast<int>(size & 0x7F)});
    for (size_t i = 0; i < size; ++i)
        tag += "\xFF\xFE\xFF\xFB\x90\x00\xFF\xF3"[i % 8];
    if ((flags & 0x10) != 0)
        tag += "3DI" + tag.substr(3, 7);
    return tag;
}

// An ID3v1 tag: "TAG" and 125 bytes of title, artist, ..., genre.
std::string id3v1(char fill) { return "TAG" + std::string(125, fill); }

// Log lines for the frames of frames(count) laid out from `from` on.
std::string frame_lines(int count, long from)
{
    std::string lines;
    for (int i = 0; i < count; ++i)
        lines += frame_line(i, from + 48L * i, 48);
    return lines;
}

struct tag_case {
    const char* name;
    std::string input;
    int copied;       // frames(copied) is the cut
    std::string log;  // after the stream description, with -l
};

void PrintTo(const tag_case& c, std::ostream* os) { *os << c.name; }

class framesnip_tags : public testing::TestWithParam<tag_case> {};

TEST_P(framesnip_tags, are_passed_and_counted_in_the_positions)
{
    const tag_case& c = GetParam();
    const cut_result r = cut(with({"-l"}), c.input);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(r.out == frames(c.copied));
    EXPECT_EQ(r.log, (c.copied > 0 ? LSF_L2 : "") + c.log);
}

std::vector<tag_case> tag_cases()
{
    const std::string v23 = id3v2(3, 0, 300), v24 = id3v2(4, 0x10, 200), big = id3v2(4, 0, 1536 * 1024 + 7);
    const std::string stray = id3v1('a') + "b", syncs = v23.substr(10, 40);
    const std::string lyrics = "LYRICSBEGIN" + syncs + formatted("%06zuLYRICS200", 11 + syncs.size());
    const auto ape = [](int flags) {  // around syncs: header 0xA0, footer 0x80 (0 without a header)
        return "APETAGEX" + bytes_of({0xD0, 7, 0, 0, 72, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, flags}) + std::string(8, '\0');
    };
    std::string stray_lines;
    for (size_t i = 1; i < stray.size(); ++i)
        stray_lines += line("nosync of frame: %8ld at pos: %10ld byte: %2lx\n", 2, static_cast<long>(143 + i),
                            static_cast<unsigned char>(stray[i]));
    return {
        {"id3v2_3", v23 + frames(3), 3, frame_lines(3, 310) + summary(3, 454)},
        {"id3v2_4_with_footer", v24 + frames(3), 3, frame_lines(3, 220) + summary(3, 364)},
        {"two_tags", v23 + v24 + frames(3), 3, frame_lines(3, 530) + summary(3, 674)},
        {"tag_larger_than_the_read_buffer", big + frames(3), 3,
         frame_lines(3, static_cast<long>(big.size())) + summary(3, static_cast<long>(big.size()) + 144)},
        {"tag_longer_than_the_input", id3v2(3, 0, 400).substr(0, 200), 0, summary(0, 199)},
        {"size_byte_with_the_top_bit_is_no_tag", "ID3" + bytes_of({3, 0, 0, 0, 0, 0, 0xB0}) + frames(3), 3,
         frame_lines(3, 10) + summary(3, 154)},
        {"id3v1_at_the_end", frames(3) + id3v1('\xFF'), 3, frame_lines(3, 0) + summary(3, 272)},
        {"both", v24 + frames(3) + id3v1('\xFF'), 3, frame_lines(3, 220) + summary(3, 492)},
        {"id3v1_not_at_the_end_is_stray", frames(3) + stray, 3, frame_lines(3, 0) + stray_lines + summary(3, 272)},
        {"id3v1_and_apev2_between", small(1) + id3v1('a') + small(2) + ape(0xA0) + syncs + ape(0x80) + small(3), 3,
         frame_line(0, 0, 48) + frame_line(1, 176, 48) + frame_line(2, 328, 48) + summary(3, 376)},
        {"apev2_footer_lyrics3v2_and_id3v1_at_the_end", frames(3) + syncs + ape(0) + lyrics + id3v1('a'), 3,
         frame_lines(3, 0) + summary(3, 410)},
    };
}

INSTANTIATE_TEST_SUITE_P(cases, framesnip_tags, testing::ValuesIn(tag_cases()),
                         [](const testing::TestParamInfo<tag_case>& info) { return std::string(info.param.name); });

struct range_case {
    const char* name;
    std::vector<const char*> options;
    std::vector<int> copied;  // frame numbers expected in the output
    long frames, bytes;       // the summary
};

class framesnip_ranges : public testing::TestWithParam<range_case> {};

TEST_P(framesnip_ranges, copies_the_range)
{
    const range_case& c = GetParam();
    const framesnip_settings settings = with(c.options);
    const cut_result r = cut(settings, frames(7));
    EXPECT_EQ(r.status, 0);
    std::string expected;
    for (int n : c.copied)
        expected += small(static_cast<unsigned char>(n + 1));
    EXPECT_EQ(r.out, expected);
    EXPECT_NE(r.log.find(summary(c.frames, c.bytes)), std::string::npos) << r.log;
}

INSTANTIATE_TEST_SUITE_P(
    cuts, framesnip_ranges,
    testing::Values(range_case{"middle", {"-b", "2", "-e", "5"}, {2, 3, 4}, 7, 336},
                    range_case{"fast_stop", {"-e", "5", "-F"}, {0, 1, 2, 3, 4}, 6, 240},
                    range_case{"fast_stop_at_zero", {"-e0", "-F"}, {}, 1, 0},
                    range_case{"fast_stop_past_the_end", {"-e", "9", "-F"}, {0, 1, 2, 3, 4, 5, 6}, 7, 336},
                    range_case{"reversed", {"-b", "5", "-e", "2"}, {}, 7, 336},
                    range_case{"first_beyond_stream", {"-b", "7"}, {}, 7, 336},
                    range_case{"last_frame_only", {"-b", "6"}, {6}, 7, 336},
                    range_case{"negative_first", {"-b", "-4", "-e", "1"}, {0}, 7, 336},
                    range_case{"text_is_zero", {"-b", "x", "-e", "2"}, {0, 1}, 7, 336}),
    [](const testing::TestParamInfo<range_case>& info) { return std::string(info.param.name); });

TEST(framesnip_cut, adc_header_counts_the_copied_frames)
{
    framesnip_settings settings = with({"-a"});
    settings.cut.first = 5;
    settings.cut.end = 2;
    const cut_result none = cut(settings, frames(7));
    EXPECT_EQ(none.out, std::string(ADC_HEADER_BYTES, '\0'));

    settings.cut.first = 1;
    settings.cut.end = 4;
    const cut_result three = cut(settings, frames(7));
    ASSERT_EQ(three.out.size(), ADC_HEADER_BYTES + 3 * 48);
    EXPECT_EQ(three.out.substr(0, 6), bytes_of({0, 0, 0, 0, 0, 3}));
    EXPECT_EQ(three.out.substr(6, ADC_HEADER_BYTES - 6), std::string(ADC_HEADER_BYTES - 6, '\0'));
    EXPECT_EQ(three.out.substr(ADC_HEADER_BYTES), small(2) + small(3) + small(4));
}

TEST(framesnip_cut, unique_numbers_only_with_l)
{
    const std::string input = small(1) + small(2);
    const cut_result quiet = cut(with({"-u"}), input);
    EXPECT_EQ(quiet.log, LSF_L2 + summary(2, 96));
    const cut_result r = cut(with({"-l", "-u"}), input);
    const auto hash = [](const std::string& f) {
        return frame_hash(reinterpret_cast<const unsigned char*>(f.data()), f.size());
    };
    char expected[200];
    std::snprintf(expected, sizeof expected,
                  "start of frame: %8d at pos: %10d len: %6d unique: %8X\n"
                  "start of frame: %8d at pos: %10d len: %6d unique: %8X\n",
                  0, 0, 48, hash(small(1)), 1, 48, 48, hash(small(2)));
    EXPECT_EQ(r.log, LSF_L2 + expected + summary(2, 96));
}

TEST(framesnip_cut, frame_cut_short_writes_only_what_was_read)
{
    const std::string input = small(1) + small(2).substr(0, 20);
    const cut_result r = cut(with({"-l"}), input);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, input);
    EXPECT_EQ(r.log, LSF_L2 + frame_line(0, 0, 48) +
                         "Warning: input ends inside frame:        1 at pos:         48, 20 of 48 bytes read.\n" +
                         frame_line(1, 48, 20) + summary(2, 68));
}

TEST(framesnip_cut, header_cut_short_is_no_frame)
{
    const std::string input = small(1) + bytes_of({0xFF, 0xF5, 0x14});
    const cut_result r = cut(with({"-l"}), input);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, small(1));
    EXPECT_EQ(r.log, LSF_L2 + frame_line(0, 0, 48) +
                         "Warning: input ends inside the header of frame:        1 at pos:         48.\n" +
                         summary(1, 51));
}

// Several MiB of frames of every Layer II bitrate, with stray bytes now and
// then, so that frames straddle the refills of the input buffer.
TEST(framesnip_cut, long_stream_across_buffer_refills)
{
    std::string input, expected_out, expected_log = LSF_L2;
    long position = 0;
    int number = 0;
    for (int i = 0; position < 3 * 1024 * 1024 + 5000; ++i) {
        const int index = 1 + i % 14;
        const int padding = (i / 14) % 2;
        static const int kbps[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
        const size_t length = static_cast<size_t>(6 * kbps[index] + padding);  // 144 * kbit/s / 24 kHz
        const std::string f = frame(0xF5, static_cast<unsigned char>(index << 4 | 1 << 2 | padding << 1), length,
                                    static_cast<unsigned char>(i % 200));
        input += f;
        expected_out += f;
        expected_log += frame_line(number, position, static_cast<long>(length));
        position += static_cast<long>(length);
        if (i % 37 == 5) {
            input += '\x00';
            expected_log += line("nosync of frame: %8ld at pos: %10ld byte: %2lx\n", number, position, 0xFF);
            position += 1;
        }
        ++number;
    }
    expected_log += summary(number, position);
    const cut_result r = cut(with({"-l"}), input);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out == expected_out);
    EXPECT_TRUE(r.log == expected_log);
}

TEST(framesnip_cut, failed_write_stops_with_a_message)
{
    FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    std::setvbuf(full, nullptr, _IONBF, 0);
    const cut_result r = run_cut(framesnip_cut, with({}), frames(3), full);
    std::fclose(full);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "framesnip: Error writing outputfile: No space left on device.\n");
    EXPECT_EQ(r.log, LSF_L2);
}

// ---- the program --------------------------------------------------------

const char* const USAGE =
    "\nUsage:\n"
    "framesnip [-a] add ADC bitstream header\n"
    "                   [-b first frame number of cut]\n"
    "                   [-e last frame number of cut]\n"
    "                   [-F] Fast, stops after range\n"
    "                   [-h] prints this message\n"
    "                   [-i inputfile]\n"
    "                   [-l] prints frame sizes\n"
    "                   [-o outputfile]\n"
    "                   [-u] unique number per frame in logging mode\n"
    "                   [-v] do not stop at the first error\n";

TEST(framesnip_program, usage)
{
    const run_result help = run_tool("framesnip", {"-h"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, USAGE);
    EXPECT_EQ(help.out, "");
    for (const char* bad_option : {"-x", "-b", "-:"}) {
        const run_result bad = run_tool("framesnip", {"-l", bad_option});
        EXPECT_EQ(bad.status, 1) << bad_option;
        EXPECT_EQ(bad.err, std::string("get command line option: Invalid argument\n") + USAGE) << bad_option;
        EXPECT_EQ(bad.out, "");
    }
}

TEST(framesnip_program, open_errors)
{
    const run_result in = run_tool("framesnip", {"-i", "/nonexistent/in.mp2"});
    EXPECT_EQ(in.status, 1);
    EXPECT_EQ(in.err, "framesnip: Error opening inputfile: /nonexistent/in.mp2.\n");
    temp_dir dir;
    write_file(dir.file("in.mp2"), frames(2));
    const run_result out = run_tool("framesnip", {"-i", dir.file("in.mp2"), "-o", "/nonexistent/out.mp2"});
    EXPECT_EQ(out.status, 1);
    EXPECT_EQ(out.err, "framesnip: Error opening outputfile: /nonexistent/out.mp2.\n");
}

TEST(framesnip_program, output_naming_the_input_is_refused)
{
    temp_dir dir;
    write_file(dir.file("in.mp2"), frames(2));
    const run_result r = run_tool("framesnip", {"-i", dir.file("in.mp2"), "-o", dir.file("in.mp2")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "framesnip: Error: outputfile is the inputfile: " + dir.file("in.mp2") + ".\n");
    EXPECT_EQ(read_file(dir.file("in.mp2")), frames(2));
}

TEST(framesnip_program, read_and_write_failures)
{
    const run_result dir = run_tool("framesnip", {"-i", "/"});
    EXPECT_EQ(dir.status, 1);
    EXPECT_EQ(dir.err, "framesnip: Error reading inputfile: Is a directory.\n");
    const run_result full = run_tool("framesnip", {"-o", "/dev/full"}, frames(3));
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "framesnip: Error writing outputfile: No space left on device.\n");
}

TEST(framesnip_program, standard_streams_interleave_log_and_frames)
{
    const run_result r = run_tool("framesnip", {"-l", "-e", "2"}, frames(3));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, LSF_L2 + frame_line(0, 0, 48) + small(1) + frame_line(1, 48, 48) + small(2) + summary(3, 144));
    EXPECT_EQ(r.err, "");
}

TEST(framesnip_program, adc_header_on_a_pipe_keeps_the_requested_count)
{
    temp_dir dir;
    write_file(dir.file("in.mp2"), frames(7));
    // Standard output is a pipe here.
    const run_result r = run_tool("framesnip", {"-a", "-b", "5", "-e", "2", "-i", dir.file("in.mp2")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "framesnip: Error: the output cannot be repositioned; the ADC bitstream header keeps the "
              "requested count.\n");
    ASSERT_GE(r.out.size(), ADC_HEADER_BYTES);
    EXPECT_EQ(r.out.substr(0, 6), bytes_of({0, 0, 0, 0, 0xFF, 0xFD}));
    EXPECT_EQ(r.out.substr(ADC_HEADER_BYTES), LSF_L2 + summary(7, 336));
}

TEST(framesnip_program, adc_header_on_a_redirected_file)
{
    temp_dir dir;
    write_file(dir.file("in.mp2"), frames(7));
    const run_result r = run_shell("framesnip -a -b 1 -e 3 < '" + dir.file("in.mp2") + "' > '" + dir.file("out") + "'");
    EXPECT_EQ(r.status, 0);
    const std::string out = read_file(dir.file("out"));
    ASSERT_GE(out.size(), ADC_HEADER_BYTES);
    EXPECT_EQ(out.substr(0, 6), bytes_of({0, 0, 0, 0, 0, 2}));
}

}  // namespace
