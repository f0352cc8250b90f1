#include "bitstream.h"
#include "cutter.h"
#include "run.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string text_of(FILE* stream)
{
    std::string text;
    std::rewind(stream);
    int c;
    while ((c = std::fgetc(stream)) != EOF)
        text.push_back(static_cast<char>(c));
    return text;
}

TEST(bits, unpack_is_msb_first_and_pack_reverses_it)
{
    const unsigned char bytes[] = {0x80, 0x01, 0xA5};
    unsigned char bits[24];
    unpack_bits(bytes, 3, bits);
    const unsigned char expected[24] = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 1, 0, 0, 1, 0, 1};
    EXPECT_EQ(std::string(bits, bits + 24), std::string(expected, expected + 24));
    unsigned char back[3] = {0x55, 0x55, 0x55};
    pack_bits(bits, 3, back);
    EXPECT_EQ(std::string(back, back + 3), std::string(bytes, bytes + 3));
}

struct adc_case {
    int count;
    unsigned char word1[2];
    unsigned char word2[2];
};

class adc_header : public testing::TestWithParam<adc_case> {};

TEST_P(adc_header, count_in_words_one_and_two)
{
    unsigned char block[ADC_HEADER_BYTES];
    make_adc_header(GetParam().count, block);
    EXPECT_EQ(block[0], 0);
    EXPECT_EQ(block[1], 0);
    EXPECT_EQ(block[2], GetParam().word1[0]);
    EXPECT_EQ(block[3], GetParam().word1[1]);
    EXPECT_EQ(block[4], GetParam().word2[0]);
    EXPECT_EQ(block[5], GetParam().word2[1]);
    for (size_t i = 6; i < ADC_HEADER_BYTES; ++i)
        ASSERT_EQ(block[i], 0) << i;
}

INSTANTIATE_TEST_SUITE_P(counts, adc_header,
                         testing::Values(adc_case{999999999, {0x3B, 0x9A}, {0xC9, 0xFF}},
                                         adc_case{-3, {0, 0}, {0xFF, 0xFD}},
                                         adc_case{-65537, {0xFF, 0xFF}, {0xFF, 0xFF}},
                                         adc_case{INT_MIN, {0x80, 0x00}, {0x00, 0x00}}),
                         [](const auto& info) { return "count_" + number_name(info.param.count); });

// A byte stream whose value at offset i tells i, so that misplaced bytes show.
std::string numbered_bytes(size_t count)
{
    std::string bytes(count, '\0');
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

FILE* stream_of(const std::string& bytes)
{
    FILE* stream = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::rewind(stream);
    return stream;
}

// Reads the stream as the cutters do: a byte at a time, then pieces of
// given sizes that must come with the bytes handed out before them, across
// many refills of a small buffer.
TEST(byte_reader, pieces_stay_contiguous_with_the_bytes_before_them)
{
    const std::string input = numbered_bytes(10000);
    FILE* stream = stream_of(input);
    byte_reader reader;
    ASSERT_TRUE(reader_init(reader, stream, 64));
    size_t offset = 0;
    unsigned char byte = 0;
    const size_t pieces[] = {3, 29, 1, 0, 30, 17, 2};
    size_t step = 0;
    while (offset < input.size()) {
        // Two single bytes (the sync pair), then a piece and its continuation.
        ASSERT_TRUE(next_byte(reader, byte));
        ASSERT_EQ(byte, static_cast<unsigned char>(input[offset]));
        ++offset;
        if (offset == input.size())
            break;
        ASSERT_TRUE(next_byte(reader, byte));
        ++offset;
        const size_t more = pieces[step++ % std::size(pieces)];
        size_t got = 0;
        const unsigned char* bytes = take_bytes(reader, 2, more, got);
        ASSERT_EQ(got, std::min(more, input.size() - offset));
        ASSERT_EQ(std::string(reinterpret_cast<const char*>(bytes), 2 + got), input.substr(offset - 2, 2 + got));
        offset += got;
        const size_t behind = 2 + got;
        bytes = take_bytes(reader, behind, 20, got);
        ASSERT_EQ(std::string(reinterpret_cast<const char*>(bytes), behind + got),
                  input.substr(offset - behind, behind + got))
            << "at offset " << offset;
        offset += got;
    }
    EXPECT_FALSE(next_byte(reader, byte));
    EXPECT_FALSE(reader.failed);
    std::fclose(stream);
}

TEST(byte_reader, read_error_is_told_apart_from_the_end)
{
    FILE* stream = std::fopen("/", "rb");
    ASSERT_NE(stream, nullptr);
    byte_reader reader;
    ASSERT_TRUE(reader_init(reader, stream, 64));
    unsigned char byte = 0;
    EXPECT_FALSE(next_byte(reader, byte));
    EXPECT_TRUE(reader.failed);
    std::fclose(stream);
}

// The closing rewrite of the header block where the output cannot take it.
struct rewrite_run {
    std::string err;
    int status = 0;
};

rewrite_run begin_and_end(FILE* out)
{
    FILE* in = stream_of("");
    FILE* log = std::tmpfile();
    FILE* err = std::tmpfile();
    cut_run run;
    run.program = "cutter";
    run.settings.adc_header = true;
    run.io = {in, out, log, err};
    rewrite_run result;
    EXPECT_EQ(cut_begin(run), -1);  // empty input
    result.status = cut_end(run);
    result.err = text_of(err);
    std::fclose(in);
    std::fclose(log);
    std::fclose(err);
    return result;
}

TEST(adc_rewrite, pipe_output_is_reported)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    FILE* out = fdopen(fds[1], "wb");
    const rewrite_run result = begin_and_end(out);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err,
              "cutter: Error: the output cannot be repositioned; the ADC bitstream header keeps the requested count.\n");
    std::fclose(out);
    std::string got;
    char chunk[4096];
    ssize_t n;
    while ((n = read(fds[0], chunk, sizeof chunk)) > 0)
        got.append(chunk, static_cast<size_t>(n));
    close(fds[0]);
    EXPECT_EQ(got.size(), ADC_HEADER_BYTES) << "the block is written once, with the requested count";
}

TEST(adc_rewrite, append_mode_output_is_not_rewritten_at_its_end)
{
    char name[] = "/tmp/cutterXXXXXX";
    const int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    close(fd);
    FILE* out = std::fopen(name, "ab");
    const rewrite_run result = begin_and_end(out);
    std::fclose(out);
    EXPECT_EQ(result.status, 1);
    FILE* back = std::fopen(name, "rb");
    std::fseek(back, 0, SEEK_END);
    EXPECT_EQ(std::ftell(back), static_cast<long>(ADC_HEADER_BYTES));
    std::fclose(back);
    std::remove(name);
}

TEST(adc_rewrite, header_is_found_where_it_was_written)
{
    FILE* out = std::tmpfile();
    std::fputs("before", out);
    const rewrite_run result = begin_and_end(out);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    const std::string bytes = text_of(out);
    ASSERT_EQ(bytes.size(), 6 + ADC_HEADER_BYTES);
    EXPECT_EQ(bytes.substr(0, 6), "before");
    EXPECT_EQ(bytes.substr(6, 6), std::string(6, '\0'));  // copied count 0
    std::fclose(out);
}

}  // namespace
