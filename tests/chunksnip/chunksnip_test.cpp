#include "chunksnip.h"

#include "../bitstream/cut_harness.h"
#include "bitstream.h"
#include "run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// ---- the CRC -----------------------------------------------------------------

TEST(extension_crc, catalogued_check_value)
{
    // CRC-16 with polynomial 0x8005, register from 0xFFFF, no reflection and
    // no final inversion is catalogued as CRC-16/CMS: "123456789" gives 0xAEE7.
    const unsigned char text[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    unsigned char bits[72];
    unpack_bits(text, 9, bits);
    EXPECT_EQ(extension_crc(bits, 72), 0xAEE7);
    EXPECT_EQ(extension_crc(bits, 0), 0xFFFF);
}

TEST(extension_crc, covered_bits)
{
    EXPECT_EQ(extension_crc_bits(5), 12u);
    EXPECT_EQ(extension_crc_bits(6), 20u);
    EXPECT_EQ(extension_crc_bits(19), 124u);
    EXPECT_EQ(extension_crc_bits(20), 128u);
    EXPECT_EQ(extension_crc_bits(2047), 128u);
}

// ---- frames built in the test --------------------------------------------------

// The CRC by the bit rule, over bits 28 on of the frame (count bits).
uint16_t crc_of(const std::string& frame, size_t count)
{
    unsigned reg = 0xFFFF;
    for (size_t n = 28; n < 28 + count; ++n) {
        const unsigned bit = (static_cast<unsigned char>(frame[n / 8]) >> (7 - n % 8)) & 1;
        const bool top = (reg & 0x8000) != 0;
        reg = (reg << 1) & 0xFFFF;
        if (top != (bit == 1))
            reg ^= 0x8005;
    }
    return static_cast<uint16_t>(reg);
}

void put_crc(std::string& frame, unsigned crc)
{
    frame[1] = static_cast<char>(0xF0 | crc >> 12);
    frame[2] = static_cast<char>(crc >> 4 & 0xFF);
    frame[3] = static_cast<char>((crc & 0xF) << 4 | (static_cast<unsigned char>(frame[3]) & 0x0F));
}

// An extension frame: the length field and id bit as given, `bytes` bytes in
// all (payload `fill`, never 0x7F), a correct CRC over what the cutter covers
// (a five-byte frame for an id frame or a field below 5), then the stored
// CRC bits in `flip` inverted (bit 15 of flip is CRC bit 0).
std::string ext_frame(int field, int id, size_t bytes, unsigned char fill, unsigned flip = 0)
{
    std::string frame(bytes, static_cast<char>(fill));
    frame[0] = '\x7F';
    frame[3] = static_cast<char>(field >> 7 & 0x0F);
    frame[4] = static_cast<char>((field & 0x7F) << 1 | id);
    const size_t covered_length = (id != 0 || field < 5) ? 5 : static_cast<size_t>(field);
    const size_t count = std::min<size_t>(8 * covered_length - 28, 128);
    put_crc(frame, crc_of(frame, count) ^ flip);
    return frame;
}

std::string good(unsigned char fill) { return ext_frame(24, 0, 24, fill); }

chunksnip_settings with(const std::vector<const char*>& options)
{
    return settings_from(chunksnip_options, "chunksnip", options);
}

cut_result cut(const chunksnip_settings& settings, const std::string& input)
{
    return run_cut(chunksnip_cut, settings, input);
}

std::string summary(long frames, long bytes)
{
    char text[100];
    std::snprintf(text, sizeof text, "Frames: %8ld bytes: %10ld\n", frames, bytes);
    return text;
}

std::string dump(const std::string& frame)
{
    std::string text;
    for (int i = 0; i < 5; ++i) {
        char line[40];
        std::snprintf(line, sizeof line, "byte[%d] = %2x\n", i, static_cast<unsigned char>(frame[static_cast<size_t>(i)]));
        text += line;
    }
    return text;
}

std::string frame_line(long frame, long pos, long len)
{
    char text[100];
    std::snprintf(text, sizeof text, "start of frame: %8ld at pos: %10ld len: %6ld\n", frame, pos, len);
    return text;
}

TEST(chunksnip_cut, good_frames_pass_silently)
{
    const std::string input = good(0x11) + good(0x22) + good(0x33);
    const cut_result r = cut(with({}), input);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, input);
    EXPECT_EQ(r.log, summary(3, 72));
    EXPECT_EQ(r.err, "");
}

struct flip_case {
    const char* name;
    unsigned flip;                 // stored CRC bits inverted
    std::vector<unsigned> bits;    // their indexes, 0 = most significant
};

class chunksnip_wrong_crc : public testing::TestWithParam<flip_case> {};

TEST_P(chunksnip_wrong_crc, reported_bit_by_bit_and_corrected)
{
    const flip_case& c = GetParam();
    const std::string right = good(0x22);
    const std::string wrong = ext_frame(24, 0, 24, 0x22, c.flip);
    const cut_result r = cut(with({}), good(0x11) + wrong + good(0x33));
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out == good(0x11) + right + good(0x33));
    const unsigned crc = crc_of(right, 128);
    std::string expected;
    for (unsigned i : c.bits) {
        const unsigned computed = crc >> (15 - i) & 1;
        char line[80];
        std::snprintf(line, sizeof line, "frame:  1 len:     24 crc[%02u]: %2x <-> %2x\n", i, computed, computed ^ 1);
        expected += line;
    }
    expected += "frame:  1 len:     24 id: 0\n" + dump(wrong) + dump(right) + summary(3, 72);
    EXPECT_EQ(r.log, expected);

    // With -F nothing is checked and the frame is copied as it came.
    const cut_result fast = cut(with({"-F"}), good(0x11) + wrong + good(0x33));
    EXPECT_TRUE(fast.out == good(0x11) + wrong + good(0x33));
    EXPECT_EQ(fast.log, summary(3, 72));
}

INSTANTIATE_TEST_SUITE_P(bits, chunksnip_wrong_crc,
                         testing::Values(flip_case{"last", 0x0001, {15}}, flip_case{"first", 0x8000, {0}},
                                         flip_case{"middle_byte", 0x0100, {7}},
                                         flip_case{"nibble_edges", 0x1810, {3, 4, 11}},
                                         flip_case{"all", 0xFFFF, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}}),
                         [](const testing::TestParamInfo<flip_case>& info) { return std::string(info.param.name); });

TEST(chunksnip_cut, crc_covers_at_most_128_bits)
{
    // A change beyond the covered bits (byte 20 on) leaves the CRC right.
    std::string frame = ext_frame(40, 0, 40, 0x11);
    frame[30] = '\x55';
    const cut_result r = cut(with({}), frame);
    EXPECT_EQ(r.log, summary(1, 40));
    // A change inside them does not.
    frame[19] = '\x55';
    EXPECT_NE(cut(with({}), frame).log, summary(1, 40));
}

TEST(chunksnip_cut, unique_number_is_of_the_bytes_as_read)
{
    const std::string wrong = ext_frame(24, 0, 24, 0x22, 0x0001);
    const cut_result r = cut(with({"-l", "-u"}), wrong);
    char line[120];
    std::snprintf(line, sizeof line, "start of frame: %8d at pos: %10d len: %6d unique: %8X\n", 0, 0, 24,
                  frame_hash(reinterpret_cast<const unsigned char*>(wrong.data()), wrong.size()));
    EXPECT_EQ(r.log.substr(0, r.log.find('\n') + 1), line);
    EXPECT_TRUE(r.out == good(0x22));
}

TEST(chunksnip_cut, id_frame_is_five_bytes_and_the_rest_is_scanned)
{
    // The field says 10 bytes, the id bit makes it 5: the other 5 are strays.
    const std::string id_frame = ext_frame(10, 1, 10, 0x11);
    const std::string input = id_frame + good(0x22);
    const cut_result r = cut(with({"-l"}), input);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out == id_frame.substr(0, 5) + good(0x22));
    std::string expected = "frame:  0 len:     10 id: 1\n" + dump(id_frame) + frame_line(0, 0, 5);
    for (long pos = 5; pos < 10; ++pos) {
        char line[80];
        std::snprintf(line, sizeof line, "nosync of frame: %8d at pos: %10ld byte: %2x\n", 0, pos, pos < 9 ? 0x11 : 0x7F);
        expected += line;
    }
    expected += frame_line(1, 10, 24) + summary(2, 34);
    EXPECT_EQ(r.log, expected);
}

TEST(chunksnip_cut, id_frame_with_wrong_crc_reports_length_five)
{
    const std::string wrong = ext_frame(5, 1, 5, 0, 0x0001);
    const cut_result r = cut(with({}), wrong);
    EXPECT_EQ(r.log, "frame:  0 len:      5 id: 1\n" + dump(wrong) + "frame:  0 len:      5 crc[15]:  " +
                         std::to_string(crc_of(ext_frame(5, 1, 5, 0), 12) & 1) + " <->  " +
                         std::to_string((crc_of(ext_frame(5, 1, 5, 0), 12) & 1) ^ 1) + "\n" +
                         "frame:  0 len:      5 id: 1\n" + dump(wrong) + dump(ext_frame(5, 1, 5, 0)) + summary(1, 5));
}

TEST(chunksnip_cut, length_below_five_is_taken_as_five)
{
    const std::string tiny = ext_frame(2, 0, 5, 0);
    const cut_result r = cut(with({"-l"}), tiny + good(0x11));
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out == tiny + good(0x11));
    EXPECT_EQ(r.log, "frame:  0 len:      2 shorter than its header, taken as 5 bytes\n" + frame_line(0, 0, 5) +
                         frame_line(1, 5, 24) + summary(2, 29));
}

TEST(chunksnip_cut, garbage_and_stray_bytes)
{
    const std::string input = bytes_of({0x7F, 0x00, 0x7F, 0xE0}) + good(0x11) + bytes_of({0x7F}) + good(0x22);
    const cut_result r = cut(with({}), input);
    EXPECT_EQ(r.out, good(0x11) + good(0x22));
    // 7F E0 is no sync; the frames start at 4 and 29.
    EXPECT_EQ(r.log, "nosync of frame:        0 at pos:         28 byte: 7f\n" + summary(2, 53));
}

TEST(chunksnip_cut, fast_stop_at_the_sync_of_frame_end)
{
    std::string input;
    for (int i = 0; i < 6; ++i)
        input += good(static_cast<unsigned char>(0x11 * (i + 1)));
    const cut_result r = cut(with({"-e", "3", "-F", "-a"}), input);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.log, summary(4, 72));
    ASSERT_EQ(r.out.size(), ADC_HEADER_BYTES + 72);
    EXPECT_EQ(r.out.substr(0, 6), bytes_of({0, 0, 0, 0, 0, 3}));
    EXPECT_TRUE(r.out.substr(ADC_HEADER_BYTES) == input.substr(0, 72));
}

TEST(chunksnip_cut, adc_header_counts_frames_present_in_the_range)
{
    const std::string input = good(0x11) + good(0x22) + good(0x33) + good(0x44);
    const cut_result r = cut(with({"-a", "-b", "1", "-e", "10"}), input);
    EXPECT_EQ(r.out.substr(0, 6), bytes_of({0, 0, 0, 0, 0, 3}));
    EXPECT_TRUE(r.out.substr(ADC_HEADER_BYTES) == input.substr(24));
}

TEST(chunksnip_cut, frame_cut_short_is_passed_on_as_read)
{
    const std::string wrong = ext_frame(24, 0, 24, 0x22, 0x0001);
    const std::string input = good(0x11) + wrong.substr(0, 15);
    const cut_result r = cut(with({"-l"}), input);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out == input);
    EXPECT_EQ(r.log, frame_line(0, 0, 24) +
                         "Warning: input ends inside frame:        1 at pos:         24, 15 of 24 bytes read.\n" +
                         frame_line(1, 24, 15) + summary(2, 39));
}

TEST(chunksnip_cut, header_cut_short)
{
    const std::string input = good(0x11) + bytes_of({0x7F, 0xF1, 0x00});
    const cut_result r = cut(with({"-a"}), input);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.substr(ADC_HEADER_BYTES) == input);
    EXPECT_EQ(r.out.substr(0, 6), bytes_of({0, 0, 0, 0, 0, 2}));
    EXPECT_EQ(r.log, "Warning: input ends inside the header of frame:        1 at pos:         24.\n" + summary(2, 27));
}

TEST(chunksnip_cut, empty_input)
{
    const cut_result r = cut(with({}), "");
    EXPECT_EQ(r.log, summary(0, -1));
    EXPECT_EQ(r.out, "");
}

// ---- the program --------------------------------------------------------

const char* const USAGE =
    "\nUsage:\n"
    "chunksnip [-a] add ADC bitstream header\n"
    "                   [-b first frame number of cut]\n"
    "                   [-e last frame number of cut]\n"
    "                   [-F] Fast, stops after range and no crc check\n"
    "                   [-h] prints this message\n"
    "                   [-i inputfile]\n"
    "                   [-l] prints frame sizes\n"
    "                   [-o outputfile]\n"
    "                   [-u] unique number per frame in logging mode\n";

TEST(chunksnip_program, usage)
{
    const run_result help = run_tool("chunksnip", {"-h"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, USAGE);
    const run_result bad = run_tool("chunksnip", {"-v"});  // framesnip's option, not this one's
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err, std::string("get command line option: Invalid argument\n") + USAGE);
}

TEST(chunksnip_program, files_and_standard_streams)
{
    const std::string input = good(0x11) + ext_frame(24, 0, 24, 0x22, 0x0001);
    const run_result piped = run_tool("chunksnip", {"-b", "1", "-l"}, input);
    EXPECT_EQ(piped.status, 0);
    const std::string first = frame_line(1, 24, 24);
    const std::string last = good(0x22) + summary(2, 48);
    EXPECT_EQ(piped.out.substr(0, first.size()), first);
    ASSERT_GT(piped.out.size(), last.size());
    EXPECT_TRUE(piped.out.substr(piped.out.size() - last.size()) == last) << "the corrected frame, then the summary";

    temp_dir dir;
    write_file(dir.file("in.ext"), input);
    const run_result files = run_tool("chunksnip", {"-i", dir.file("in.ext"), "-o", dir.file("out.ext")});
    EXPECT_EQ(files.status, 0);
    EXPECT_TRUE(read_file(dir.file("out.ext")) == good(0x11) + good(0x22));
    const run_result missing = run_tool("chunksnip", {"-i", dir.file("none")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "chunksnip: Error opening inputfile: " + dir.file("none") + ".\n");
    const run_result full = run_tool("chunksnip", {"-i", dir.file("in.ext"), "-o", "/dev/full"});
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "chunksnip: Error writing outputfile: No space left on device.\n");
}

}  // namespace
