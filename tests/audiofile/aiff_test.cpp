// AIFF and AIFC headers: the writer's layouts, the 80-bit rate, the chunk
// scan of the reader and its answers to odd files.
#include "formats_helpers.h"
#include "run.h"

#include <gtest/gtest.h>

using namespace formats_test;

namespace {

const std::string rate_44100("\x40\x0E\xAC\x44\0\0\0\0\0\0", 10);

std::string chunk(const char* id, const std::string& body) { return std::string(id, 4) + be32(static_cast<uint32_t>(body.size())) + body; }

std::string form(const char* type, const std::string& chunks)
{
    return "FORM" + be32(static_cast<uint32_t>(4 + chunks.size())) + type + chunks;
}

std::string comm(int channels, uint32_t frames, int bits, const std::string& rate = rate_44100)
{
    return chunk("COMM", be16(static_cast<uint32_t>(channels)) + be32(frames) + be16(static_cast<uint32_t>(bits)) + rate);
}

std::string comm_aifc(int channels, uint32_t frames, int bits, const char* compression, const std::string& name)
{
    std::string pstring = std::string(1, static_cast<char>(name.size())) + name;
    if (name.size() % 2 == 0)
        pstring += '\0';
    return chunk("COMM", be16(static_cast<uint32_t>(channels)) + be32(frames) + be16(static_cast<uint32_t>(bits)) + rate_44100 +
                             compression + pstring);
}

std::string ssnd(const std::string& samples, uint32_t offset = 0)
{
    return "SSND" + be32(static_cast<uint32_t>(8 + offset + samples.size())) + be32(offset) + be32(0) + std::string(offset, '\0') + samples;
}

std::string comt(const std::string& text)
{
    std::string body = be16(1) + be32(0) + be16(0) + be16(static_cast<uint32_t>(text.size())) + text;
    if (text.size() % 2 != 0)
        body += '\0';
    return chunk("COMT", body);
}

TEST(aiff_writer, aiff_16_bit_stereo_layout)
{
    const std::string h = header_bytes(make_header(AUDIO_AIFF_16, 2, 44100, 1000));
    const std::string expected = "FORM" + be32(4046) + "AIFF" + "COMM" + be32(18) + be16(2) + be32(1000) + be16(16) + rate_44100 +
                                 "SSND" + be32(4008) + be32(0) + be32(0);
    EXPECT_EQ(hex(h), hex(expected));
    EXPECT_EQ(h.size(), 54u);
}

TEST(aiff_writer, aifc_16_bit_stereo_layout)
{
    const std::string h = header_bytes(make_header(AUDIO_AIFC_16, 2, 44100, 1000));
    const std::string expected = "FORM" + be32(4078) + "AIFC" + "FVER" + be32(4) + be32(0xA2805140) + "COMM" + be32(38) + be16(2) +
                                 be32(1000) + be16(16) + rate_44100 + "NONE" + std::string("\x0Enot compressed", 15) +
                                 std::string(1, '\0') + "SSND" + be32(4008) + be32(0) + be32(0);
    EXPECT_EQ(hex(h), hex(expected));
    EXPECT_EQ(h.size(), 86u);
}

struct rate_case {
    int sfreq;
    const char* bytes;
};

class aiff_rate : public testing::TestWithParam<rate_case> {};

TEST_P(aiff_rate, extended_precision_bytes)
{
    const std::string h = header_bytes(make_header(AUDIO_AIFF_16, 1, GetParam().sfreq, 0));
    EXPECT_EQ(hex(h.substr(28, 10)), GetParam().bytes);
    const read_result r = read_header_of(h);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.header.sfreq, GetParam().sfreq);
}

INSTANTIATE_TEST_SUITE_P(rates, aiff_rate,
                         testing::Values(rate_case{44100, "40 0E AC 44 00 00 00 00 00 00"},
                                         rate_case{48000, "40 0E BB 80 00 00 00 00 00 00"},
                                         rate_case{8000, "40 0B FA 00 00 00 00 00 00 00"},
                                         rate_case{1, "3F FF 80 00 00 00 00 00 00 00"},
                                         rate_case{0, "00 00 00 00 00 00 00 00 00 00"},
                                         rate_case{-22050, "C0 0D AC 44 00 00 00 00 00 00"},
                                         rate_case{2147483647, "40 1D FF FF FF FE 00 00 00 00"}),
                         [](const auto& info) { return "hz_" + number_name(info.param.sfreq); });

TEST(aiff_reader, rate_fields_saturate_and_truncate)
{
    struct {
        std::string rate;
        int32_t sfreq;
    } cases[] = {
        {std::string("\x7F\xFF\0\0\0\0\0\0\0\0", 10), INT32_MAX},           // infinity
        {std::string("\xFF\xFF\0\0\0\0\0\0\0\0", 10), INT32_MIN},           // minus infinity
        {std::string("\x40\x40\x80\0\0\0\0\0\0\0", 10), INT32_MAX},         // 2^65
        {std::string("\x3F\xFE\xC0\0\0\0\0\0\0\0", 10), 0},                 // 0.75
        {std::string("\x40\x00\xE0\0\0\0\0\0\0\0", 10), 3},                 // 3.5
        {std::string("\x00\x00\x00\0\0\0\0\0\0\x01", 10), 0},               // tiny
        {std::string("\x40\x0E\xAC\x44\xFF\xFF\xFF\xFF\xFF\xFF", 10), 44101},  // 44101 - 2^-48 is 44101 as a double
    };
    for (const auto& c : cases) {
        const read_result r = read_header_of(form("AIFF", comm(1, 1, 16, c.rate) + ssnd("ab")));
        ASSERT_EQ(r.status, 0) << hex(c.rate);
        EXPECT_EQ(r.header.sfreq, c.sfreq) << hex(c.rate);
    }
}

TEST(aiff_writer, comment_chunk_with_and_without_pad)
{
    const std::string odd = header_bytes(make_header(AUDIO_AIFF_8, 1, 8000, 10, "hello"));
    EXPECT_EQ(be32_at(odd, 4), 10u + 46u + 16u + 8u);
    EXPECT_EQ(hex(odd.substr(38, 24)), hex(comt("hello")));
    EXPECT_EQ(be32_at(odd, 42), 16u);
    const std::string even = header_bytes(make_header(AUDIO_AIFF_8, 1, 8000, 10, "four"));
    EXPECT_EQ(be32_at(even, 42), 14u);
    EXPECT_EQ(be32_at(even, 4), 10u + 46u + 14u + 8u);
    EXPECT_EQ(even.substr(60, 4), "SSND");

    const read_result r = read_header_of(odd + std::string(10, '\0'));
    ASSERT_EQ(r.status, 0);
    EXPECT_STREQ(r.header.comment, "hello");
    EXPECT_EQ(r.header.data_offset, static_cast<int32_t>(odd.size()));
}

struct family_case {
    int type;
    const char* form;
    uint16_t bits;
};

class aiff_writer_types : public testing::TestWithParam<family_case> {};

TEST_P(aiff_writer_types, form_and_sample_size)
{
    const family_case& c = GetParam();
    const std::string h = header_bytes(make_header(c.type, 1, 8000, 3));
    EXPECT_EQ(h.substr(8, 4), c.form);
    const size_t comm_at = h.substr(8, 4) == "AIFC" ? 24 : 12;
    EXPECT_EQ(be16_at(h, comm_at + 14), c.bits);
    // The stated data size matches what the frame functions store.
    EXPECT_EQ(be32_at(h, h.size() - 12), 8u + 3u * c.bits / 8);
}

INSTANTIATE_TEST_SUITE_P(
    every_code, aiff_writer_types,
    testing::Values(family_case{AUDIO_AIFF, "AIFF", 16}, family_case{AUDIO_AIFF_8, "AIFF", 8},
                    family_case{AUDIO_AIFF_16, "AIFF", 16}, family_case{AUDIO_AIFF_24, "AIFF", 24},
                    family_case{AUDIO_AIFF_32, "AIFF", 32}, family_case{AUDIO_AIFC, "AIFC", 16},
                    family_case{AUDIO_AIFC_8, "AIFC", 8}, family_case{AUDIO_AIFC_16, "AIFC", 16},
                    family_case{AUDIO_AIFC_24, "AIFC", 24}, family_case{AUDIO_AIFC_32, "AIFC", 32},
                    family_case{27, "AIFF", 16}, family_case{1000, "AIFF", 16}, family_case{-1, "AIFF", 16}),
    [](const auto& info) { return type_code_name(info.param.type); });

TEST(aiff_reader, reads_what_it_writes)
{
    for (int type = AUDIO_AIFF_8; type <= AUDIO_AIFC_32; ++type) {
        if (type == AUDIO_AIFC)
            continue;
        const std::string h = header_bytes(make_header(type, 3, 22050, 7, "note"));
        const read_result r = read_header_of(h);
        ASSERT_EQ(r.status, 0) << type << r.err;
        EXPECT_EQ(r.header.type, type);
        EXPECT_EQ(r.header.channels, 3);
        EXPECT_EQ(r.header.sfreq, 22050);
        EXPECT_EQ(r.header.frames, 7);
        EXPECT_EQ(r.header.data_offset, static_cast<int32_t>(h.size()));
        EXPECT_STREQ(r.header.comment, "note");
        EXPECT_EQ(r.header.ils_marker, -32000);
        EXPECT_EQ(r.header.ils_word64, 123456);
    }
}

TEST(aiff_reader, other_known_chunks_are_skipped)
{
    const std::string file = form("AIFF", chunk("MARK", "abcdef") + chunk("INST", std::string(20, 'i')) + chunk("CSND", "12345678") +
                                              comm(2, 1, 16) + chunk("APPL", "xy") + ssnd("abcd", 4));
    const read_result r = read_header_of(file);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.header.type, AUDIO_AIFF_16);
    EXPECT_EQ(r.header.data_offset, static_cast<int32_t>(file.size() - 4));
    EXPECT_EQ(r.position, static_cast<long>(file.size() - 4));
    EXPECT_STREQ(r.header.comment, "");
}

TEST(aiff_reader, odd_chunks_with_or_without_pad_byte)
{
    const std::string padded = form("AIFF", chunk("ANNO", "abc") + std::string(1, '\0') + comm(1, 2, 8) + ssnd("xy"));
    const std::string bare = form("AIFF", chunk("ANNO", "abc") + comm(1, 2, 8) + ssnd("xy"));
    for (const std::string& file : {padded, bare}) {
        const read_result r = read_header_of(file);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.header.data_offset, static_cast<int32_t>(file.size() - 2));
    }
}

TEST(aiff_reader, faults_inside_the_form_are_named)
{
    for (auto [file, message] : {std::pair{form("AIFF", comm(1, 2, 8) + chunk("ID3\x01", "tag!") + ssnd("xy")), "get_chunk_type: ID3\x01 not recognized"},
                                 std::pair{form("AIFF", form("8SVX", "") + comm(1, 2, 8) + ssnd("xy")), "aiff: form type 8SVX not supported"}}) {
        const read_result r = read_header_of(file + std::string(600, '\0'));
        EXPECT_EQ(r.status, AIFF_BROKEN);
        EXPECT_EQ(r.err, message + std::string("\n\nError reading AIFF/AIFC file"));
    }
}

TEST(aiff_reader, first_identifier_must_be_form)
{
    // An AIFF chunk at the very start: not mine, with its size recorded.
    const std::string file = comm(1, 2, 8) + ssnd("xy") + std::string(600, '\0');
    FILE* f = std::tmpfile();
    std::fwrite(file.data(), 1, file.size(), f);
    std::rewind(f);
    audio_header h{};
    probe_fill = 0;
    EXPECT_EQ(read_sun_header(f, &h), SUN_NOT_MINE);
    EXPECT_EQ(read_aiff_header(f, &h), AIFF_NOT_MINE);
    EXPECT_EQ(probe_fill, 8);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(probe_bytes), 8), file.substr(0, 8));
    EXPECT_EQ(std::ftell(f), 8);
    std::fclose(f);
}

TEST(aiff_reader, unknown_form_type_records_twelve_bytes)
{
    const std::string file = form("8SVX", chunk("VHDR", std::string(20, '\0'))) + std::string(600, '\0');
    FILE* f = std::tmpfile();
    std::fwrite(file.data(), 1, file.size(), f);
    std::rewind(f);
    audio_header h{};
    probe_fill = 0;
    read_sun_header(f, &h);
    EXPECT_EQ(read_aiff_header(f, &h), AIFF_NOT_MINE);
    EXPECT_EQ(probe_fill, 12);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(probe_bytes), 12), file.substr(0, 12));
    std::fclose(f);
}

TEST(aiff_reader, aifc_compression_other_than_big_endian_pcm_is_refused)
{
    for (const char* plain : {"NONE", "twos"}) {
        const std::string file = form("AIFC", chunk("FVER", be32(0xA2805140)) + comm_aifc(2, 1, 16, plain, "") + ssnd("\x01\x02\x03\x04"));
        const read_result r = read_header_of(file);
        ASSERT_EQ(r.status, 0) << plain << r.err;
        EXPECT_EQ(r.header.type, AUDIO_AIFC_16);
        EXPECT_EQ(r.header.data_offset, static_cast<int32_t>(file.size() - 4));
    }
    for (const char* packed : {"sowt", "ulaw", "alaw", "fl32", "ima4", "NON"}) {
        const read_result r = read_header_of(form("AIFC", comm_aifc(2, 1, 16, packed, "") + ssnd("\x01\x02\x03\x04")));
        EXPECT_EQ(r.status, AIFF_BROKEN) << packed;
        EXPECT_EQ(r.err, "aifc compression type: " + std::string(packed).substr(0, 4) +
                             " not supported\n\nError reading AIFF/AIFC file");
    }
}

TEST(aiff_reader, unsupported_sample_sizes)
{
    read_result r = read_header_of(form("AIFF", comm(1, 2, 33) + ssnd("xyzw")));
    EXPECT_EQ(r.status, AIFF_BROKEN);
    EXPECT_EQ(r.err, "aiff format samplesize: 33 not supported\n\nError reading AIFF/AIFC file");
    r = read_header_of(form("AIFC", comm_aifc(1, 2, 64, "NONE", "") + ssnd(std::string(16, '\0'))));
    EXPECT_EQ(r.status, AIFF_BROKEN);
    EXPECT_EQ(r.err, "aifc format samplesize: 64 not supported\n\nError reading AIFF/AIFC file");
}

TEST(aiff_reader, long_comment_is_cut_to_255_characters)
{
    const std::string text(301, 'c');
    const std::string file = form("AIFF", comt(text) + comm(1, 2, 8) + ssnd("xy"));
    const read_result r = read_header_of(file);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(std::string(r.header.comment), text.substr(0, 255));
    EXPECT_EQ(r.header.data_offset, static_cast<int32_t>(file.size() - 2));
}

TEST(aiff_reader, comment_chunk_with_two_or_no_comments)
{
    const std::string two = chunk("COMT", be16(2) + be32(0) + be16(0) + be16(3) + "one" + std::string(1, '\0') + be32(0) + be16(0) +
                                              be16(3) + "two" + std::string(1, '\0'));
    read_result r = read_header_of(form("AIFF", two + comm(1, 2, 8) + ssnd("xy")));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_STREQ(r.header.comment, "one");
    r = read_header_of(form("AIFF", chunk("COMT", be16(0)) + comm(1, 2, 8) + ssnd("xy")));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_STREQ(r.header.comment, "");
}

TEST(aiff_reader, ssnd_before_comm_is_broken)
{
    const read_result r = read_header_of(form("AIFF", ssnd("xy") + comm(1, 2, 8)));
    EXPECT_EQ(r.status, AIFF_BROKEN);
    EXPECT_EQ(r.err, "aiff: SSND chunk before COMM chunk\n\nError reading AIFF/AIFC file");
}

TEST(aiff_reader, end_of_file_in_the_scan_is_broken)
{
    const read_result r = read_header_of(form("AIFF", comm(1, 2, 8)));
    EXPECT_EQ(r.status, AIFF_BROKEN);
    EXPECT_EQ(r.err, "aiff: file ends before the SSND chunk\n\nError reading AIFF/AIFC file");
}

TEST(aiff_reader, chunk_sizes_near_2_to_32_do_not_wrap)
{
    for (uint32_t size : {0xFFFFFFFFu, 0xFFFFFFF8u, 0x80000000u}) {
        read_result r = read_header_of(form("AIFF", comm(1, 2, 8) + "MARK" + be32(size) + ssnd("xy")));
        EXPECT_EQ(r.status, AIFF_BROKEN) << size;
        EXPECT_EQ(r.err, "aiff: samples begin beyond 2 GiB\n\nError reading AIFF/AIFC file");
        r = read_header_of(form("AIFF", comm(1, 2, 8) + "SSND" + be32(8) + be32(size) + be32(0)));
        EXPECT_EQ(r.status, AIFF_BROKEN) << size;
        r = read_header_of(form("AIFF", "COMT" + be32(size) + be16(1) + be32(0) + be16(0) + be16(2) + "ab" + comm(1, 2, 8) + ssnd("xy")));
        EXPECT_EQ(r.status, AIFF_BROKEN) << size;
    }
}

TEST(aiff_reader, odd_counts_give_defined_values)
{
    read_result r = read_header_of(form("AIFF", comm(0xFFFF, 0xFFFFFFFE, 16) + ssnd("xy")));
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.header.channels, -1);
    EXPECT_EQ(r.header.frames, 0xFFFFFFFE);
    r = read_header_of(form("AIFF", comm(0, 0, 16) + ssnd("xyzw")));
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.header.channels, 0);
    EXPECT_EQ(r.header.frames, 0);
    // No frame count: the size of the file gives it.
    r = read_header_of(form("AIFF", comm(2, 0, 16) + ssnd(std::string(40, '\0'))));
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.header.frames, 10);
}

TEST(aiff_rewrite, keeps_length_comment_and_samples)
{
    temp_dir dir;
    const std::string name = dir.file("x.aifc");
    audio_header h = make_header(AUDIO_AIFC_24, 2, 48000, 5, "take one");
    const std::vector<double> values{1, -2, 3, -4, 5, -6, 7, -8, 9, -10, 11, -12};
    ASSERT_TRUE(encode_file(name, h, values));
    const std::string before = read_file(name);
    h.frames = 5;
    ASSERT_EQ(rewrite_audio_header(name.c_str(), &h, 6), 0);
    const std::string after = read_file(name);
    ASSERT_EQ(after.size(), before.size());
    audio_header back{};
    EXPECT_EQ(decode_file(name, &back), values);
    EXPECT_STREQ(back.comment, "take one");
    EXPECT_EQ(back.frames, 6);
    EXPECT_EQ(be32_at(after, 4), 6u * 6u + 78u + 18u + 8u);  // COMT of 8 characters: K = 18
}

}  // namespace
