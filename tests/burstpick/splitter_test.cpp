// The MPEG-2 extension splitter on payloads built from the frame layouts.
#include "burst_builder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A payload of the given length whose base frame header has these fields
// and whose extension header, at byte b1, states ext_length.
std::string mpeg_payload(int length, int id, int layer_code, int bitrate_index, int frequency, int padding, int b1 = -1,
                         int ext_length = -1)
{
    std::string p = pattern(static_cast<size_t>(length), 9);
    if (length > 1)
        p[1] = static_cast<char>(0xF0 | id << 3 | layer_code << 1 | 1);
    if (length > 2)
        p[2] = static_cast<char>(bitrate_index << 4 | frequency << 2 | padding << 1);
    if (b1 >= 0 && ext_length >= 0 && b1 + 5 <= length) {
        p[static_cast<size_t>(b1)] = '\x7F';
        p[static_cast<size_t>(b1 + 3)] = static_cast<char>(0xF0 | ext_length >> 7);
        p[static_cast<size_t>(b1 + 4)] = static_cast<char>((ext_length & 0x7F) << 1 | 1);
    }
    return p;
}

struct layout_case {
    const char* name;
    int id, layer_code, bitrate_index, frequency, padding;
    int layer, bitrate, b1;
    bool usable = true;
};

void PrintTo(const layout_case& c, std::ostream* os) { *os << c.name; }

class burstpick_base_frame : public testing::TestWithParam<layout_case> {};

TEST_P(burstpick_base_frame, length_follows_the_header)
{
    const layout_case& c = GetParam();
    const std::string p = mpeg_payload(2000, c.id, c.layer_code, c.bitrate_index, c.frequency, c.padding);
    const extension_layout l = extension_layout_of(reinterpret_cast<const unsigned char*>(p.data()), 2000);
    EXPECT_EQ(l.usable, c.usable);
    EXPECT_EQ(l.layer, c.layer);
    EXPECT_EQ(l.bitrate, c.bitrate);
    EXPECT_EQ(l.b1, c.b1);
}

INSTANTIATE_TEST_SUITE_P(
    layouts, burstpick_base_frame,
    testing::Values(layout_case{"layer2_256k_48k", 1, 2, 12, 1, 0, 2, 256000, 768},
                    layout_case{"layer1_384k_48k", 1, 3, 12, 1, 0, 1, 384000, 384},
                    layout_case{"layer1_384k_48k_padded", 1, 3, 12, 1, 1, 1, 384000, 388},
                    layout_case{"layer2_192k_44k1_padded", 1, 2, 10, 0, 1, 2, 192000, 627},
                    layout_case{"layer3_320k_32k", 1, 1, 14, 2, 0, 3, 320000, 1440},
                    // Lower sampling frequencies: half the MPEG-1 ones, and
                    // factor 72 for layer 3 (whose results stay as with 144
                    // and the MPEG-1 frequencies).
                    layout_case{"lsf_layer2_160k_24k", 0, 2, 14, 1, 0, 2, 160000, 960},
                    layout_case{"lsf_layer2_64k_22k05_padded", 0, 2, 8, 0, 1, 2, 64000, 418},
                    layout_case{"lsf_layer1_256k_24k", 0, 3, 14, 1, 0, 1, 256000, 512},
                    layout_case{"lsf_layer1_32k_16k_padded", 0, 3, 1, 2, 1, 1, 32000, 100},
                    layout_case{"lsf_layer3_8k_24k", 0, 1, 1, 1, 0, 3, 8000, 24},
                    layout_case{"lsf_layer3_160k_16k_padded", 0, 1, 14, 2, 1, 3, 160000, 721},
                    layout_case{"lsf_layer3_144k_22k05", 0, 1, 13, 0, 0, 3, 144000, 470},
                    // Free format states no length.
                    layout_case{"free_format", 1, 2, 0, 1, 0, 2, 0, 0, false},
                    layout_case{"free_format_lsf_layer1", 0, 3, 0, 1, 1, 1, 0, 0, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(burstpick_extension_layout, ext_length_ignores_the_bits_around_it)
{
    std::string p = mpeg_payload(2000, 1, 2, 12, 1, 0);
    p[768 + 3] = '\xF5';  // upper nibble ignored
    p[768 + 4] = '\x01';  // lowest bit ignored
    const extension_layout l = extension_layout_of(reinterpret_cast<const unsigned char*>(p.data()), 2000);
    EXPECT_TRUE(l.ext_header_present);
    EXPECT_EQ(l.b2, 640);
}

TEST(burstpick_extension_layout, reserved_codes_are_unusable)
{
    const std::string reserved_layer = mpeg_payload(100, 1, 0, 12, 1, 0);
    const std::string forbidden_rate = mpeg_payload(100, 1, 2, 15, 1, 0);
    EXPECT_FALSE(extension_layout_of(reinterpret_cast<const unsigned char*>(reserved_layer.data()), 100).usable);
    EXPECT_FALSE(extension_layout_of(reinterpret_cast<const unsigned char*>(forbidden_rate.data()), 100).usable);
    EXPECT_FALSE(extension_layout_of(reinterpret_cast<const unsigned char*>(forbidden_rate.data()), 2).header_present);
}

struct split_result {
    int status;
    std::string output, extension, log, err;
};

split_result split(const std::string& payload, int payload_bytes, bool verbose, int64_t frame_index = 7)
{
    burst_outputs outputs;
    outputs.output = std::tmpfile();
    outputs.extension = std::tmpfile();
    outputs.extension_open = true;
    outputs.log = std::tmpfile();
    split_result r;
    testing::internal::CaptureStderr();
    r.status = split_extension_burst(reinterpret_cast<const unsigned char*>(payload.data()), payload_bytes,
                                     frame_index, verbose, outputs);
    r.err = testing::internal::GetCapturedStderr();
    flush_output(outputs);
    r.output = stream_contents(outputs.output);
    r.extension = stream_contents(outputs.extension);
    r.log = stream_contents(outputs.log);
    std::fclose(outputs.output);
    std::fclose(outputs.extension);
    std::fclose(outputs.log);
    return r;
}

TEST(burstpick_split, whole_frames_split_at_the_base_length)
{
    const std::string p = mpeg_payload(1280, 1, 2, 12, 1, 0, 768, 512);
    const auto r = split(p, 1280, true);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.log, "Version: 1 Layer: 2 Br_index: 12 Bitrate: 256000 b1: 768 b2: 512 bs: 1280\n");
    EXPECT_EQ(r.output, p.substr(0, 768));
    EXPECT_EQ(r.extension, p.substr(768));
    EXPECT_EQ(split(p, 1280, false).log, "");
}

TEST(burstpick_split, extension_as_long_as_its_header_says)
{
    const std::string p = mpeg_payload(1280, 1, 2, 12, 1, 0, 768, 500);
    const auto r = split(p, 1280, false);
    EXPECT_EQ(r.log, "Frame:      7 ext_nbytes:  512 calculated from Pd differs from: ext_header:  500\n");
    EXPECT_EQ(r.output, p.substr(0, 768));
    EXPECT_EQ(r.extension, p.substr(768, 500));
}

TEST(burstpick_split, extension_longer_than_the_payload_is_cut_at_its_end)
{
    const std::string p = mpeg_payload(1000, 1, 2, 12, 1, 0, 768, 2000);
    const auto r = split(p, 1000, false);
    EXPECT_EQ(r.log, "Frame:      7 ext_nbytes:  232 calculated from Pd differs from: ext_header: 2000\n");
    EXPECT_EQ(r.output, p.substr(0, 768));
    EXPECT_EQ(r.extension, p.substr(768));
}

TEST(burstpick_split, extension_header_cut_off_by_the_payload_is_no_extension)
{
    // b1 = 768: ext_length (5 here) is at bytes 771 and 772.  With fewer
    // bytes, the 1 to 4 after the base part are padding (ffmpeg's zero after
    // an odd frame): nothing goes to the extension stream.
    for (const int length : {773, 772, 769, 768, 700}) {
        const std::string p = mpeg_payload(length, 1, 2, 12, 1, 0, 768, 5);
        const auto r = split(p, length, true, 3);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.output, p.substr(0, static_cast<size_t>(std::min(length, 768))));
        EXPECT_EQ(r.extension, length == 773 ? p.substr(768) : "") << length;
        const int b2 = length == 773 ? 5 : 0;
        char log[200];
        std::snprintf(log, sizeof log, "Version: 1 Layer: 2 Br_index: 12 Bitrate: 256000 b1: 768 b2: %d bs: %d\n", b2,
                      length);
        std::string expected = log;
        if (length - 768 != b2) {
            std::snprintf(log, sizeof log, "Frame:      3 ext_nbytes: %4d calculated from Pd differs from: ext_header: %4d\n",
                          length - 768, b2);
            expected += log;
        }
        EXPECT_EQ(r.log, expected) << length;
    }
}

TEST(burstpick_split, unusable_headers_write_the_payload_unsplit)
{
    const std::string reserved_layer = mpeg_payload(300, 1, 0, 12, 1, 0);
    auto r = split(reserved_layer, 300, true);
    EXPECT_EQ(r.output, reserved_layer);
    EXPECT_EQ(r.extension, "");
    EXPECT_EQ(r.log, "Version: 1 Layer: 4 Br_index: 12\nFrame:      7 reserved layer code: burst written unsplit\n");

    const std::string forbidden = mpeg_payload(300, 0, 2, 15, 1, 0);
    r = split(forbidden, 299, false);
    EXPECT_EQ(r.output, forbidden.substr(0, 299));
    EXPECT_EQ(r.log, "Frame:      7 forbidden bitrate index: burst written unsplit\n");

    const std::string free_format = mpeg_payload(300, 0, 2, 0, 1, 1, 100, 200);
    r = split(free_format, 300, true);
    EXPECT_EQ(r.output, free_format);
    EXPECT_EQ(r.extension, "");
    EXPECT_EQ(r.log, "Version: 0 Layer: 2 Br_index: 0\nFrame:      7 free format (bitrate index 0), base frame "
                     "length unknown: burst written unsplit\n");

    r = split("\xFF\xFC", 2, true);
    EXPECT_EQ(r.output, "\xFF\xFC");
    EXPECT_EQ(r.log, "Frame:      7 no MPEG header in a payload of 2 bytes: burst written unsplit\n");
}

TEST(burstpick_split, reserved_sampling_rate_stops_the_run)
{
    const std::string p = mpeg_payload(1280, 1, 2, 12, 3, 0, 768, 512);
    const auto r = split(p, 1280, true);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error: reserved sampling rate.\n");
    EXPECT_EQ(r.log, "Version: 1 Layer: 2 Br_index: 12 Bitrate: 256000");
    EXPECT_EQ(r.output, "");
    EXPECT_EQ(r.extension, "");
}

}  // namespace
