// The rules the format readers share: the probe record, the identifier
// table, skipping, the frame counts derived from byte counts and file sizes,
// and the reader defaults.
#include "audiofile.h"
#include "formats.h"
#include "header_checks.h"
#include "run.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

const unsigned char* id(const char* text) { return reinterpret_cast<const unsigned char*>(text); }

TEST(chunk_table, every_identifier_has_its_index)
{
    const char* table[] = {"FORM", "FVER", "COMM", "SAXL", "COMT", "MARK", "SSND", "CSND",
                           "NAME", "AUTH", "(c) ", "ANNO", "INST", "MIDI", "AESD", "APPL",
                           "RIFF", "WAVE", "fmt ", "data", ".snd", "fact", "cue ", "plst"};
    for (int i = 0; i < CHUNK_ID_COUNT; ++i)
        EXPECT_EQ(get_chunk_type(id(table[i])), i) << table[i];
    EXPECT_EQ(get_chunk_type(id("RIFF")), RIFF_CHUNK);
    EXPECT_EQ(get_chunk_type(id("data")), DATA_CHUNK);
    EXPECT_EQ(get_chunk_type(id(".snd")), SND_CHUNK);
}

TEST(chunk_table, anything_else_is_minus_one)
{
    for (const char* other : {"LIST", "fmt\0", "Fmt ", "DATA", "riff", "(C) ", "cue\0", "    ", "JUNK", "smpl"})
        EXPECT_EQ(get_chunk_type(id(other)), -1) << other;
    const unsigned char zeros[4] = {};
    EXPECT_EQ(get_chunk_type(zeros), -1);
}

TEST(chunk_table, text_of_an_identifier_is_its_four_characters)
{
    EXPECT_STREQ(chunk_text(id("LIST")).text, "LIST");
    EXPECT_STREQ(chunk_text(id("fmt ")).text, "fmt ");
    EXPECT_EQ(std::string(chunk_text(id("ab\0d")).text, 4), std::string("ab\0d", 4));
}

TEST(byte_order, swaps_reverse_the_bytes)
{
    EXPECT_EQ(swap16(0x1234), 0x3412);
    EXPECT_EQ(swap16(0xFF00), 0x00FF);
    EXPECT_EQ(swap32(0x12345678u), 0x78563412u);
    EXPECT_EQ(swap32(0x0083FFFFu), static_cast<uint32_t>(-32000));
}

FILE* stream_of(const std::string& bytes)
{
    FILE* f = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    return f;
}

TEST(skip_bytes, reads_past_the_bytes_and_reports_an_early_end)
{
    std::string content(10000, 'a');
    content += "XYZ";
    FILE* f = stream_of(content);
    EXPECT_EQ(skip_bytes(f, 0), 0);
    EXPECT_EQ(skip_bytes(f, 10000), 0);
    EXPECT_EQ(std::fgetc(f), 'X');
    EXPECT_EQ(skip_bytes(f, 5), -1);
    EXPECT_EQ(std::fgetc(f), EOF);
    std::fclose(f);
}

TEST(read_exact, all_or_nothing_counts)
{
    FILE* f = stream_of("abcdef");
    char buffer[8] = {};
    EXPECT_TRUE(read_exact(f, buffer, 4));
    EXPECT_EQ(std::string(buffer, 4), "abcd");
    EXPECT_FALSE(read_exact(f, buffer, 4));
    std::fclose(f);
}

TEST(probe_record, keeps_what_readers_consumed_in_stream_order)
{
    std::string content;
    for (int i = 0; i < 200; ++i)
        content += static_cast<char>(i);
    FILE* f = stream_of(content);
    probe_fill = 0;
    unsigned char dst[100];
    EXPECT_EQ(probe_read(f, dst, 4), 4u);
    EXPECT_EQ(probe_read(f, dst, 8), 8u);
    EXPECT_EQ(probe_fill, 12);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(probe_bytes[i], i);
    // Beyond the 80 bytes the reads still deliver, and nothing overflows.
    EXPECT_EQ(probe_read(f, dst, 100), 100u);
    EXPECT_EQ(dst[99], 111);
    EXPECT_EQ(probe_fill, PROBE_SIZE);
    EXPECT_EQ(probe_bytes[PROBE_SIZE - 1], PROBE_SIZE - 1);
    EXPECT_EQ(probe_read(f, dst, 10), 10u);
    EXPECT_EQ(probe_fill, PROBE_SIZE);
    // At the end of the stream fewer bytes are read and recorded.
    probe_fill = 0;
    EXPECT_EQ(probe_read(f, dst, 100), 78u);
    EXPECT_EQ(probe_fill, 78);
    std::fclose(f);
}

int64_t frames_of_file(uint64_t size, int type, int channels, int data_offset)
{
    temp_dir dir;
    const std::string name = dir.file("f");
    const int fd = open(name.c_str(), O_CREAT | O_WRONLY, 0600);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(size)) != 0)
        return -99;
    close(fd);
    FILE* f = std::fopen(name.c_str(), "rb");
    audio_header h;
    init_audio_header(&h);
    h.type = type;
    h.channels = channels;
    h.data_offset = data_offset;
    const int64_t frames = frames_from_file_size(f, &h);
    std::fclose(f);
    return frames;
}

TEST(frames_of_file_size, divides_by_the_bytes_of_the_type)
{
    EXPECT_EQ(frames_of_file(444, AUDIO_WAVE_16, 2, 44), 100);
    EXPECT_EQ(frames_of_file(145, AUDIO_WAVE_8, 1, 44), 101);
    EXPECT_EQ(frames_of_file(44 + 9 * 7 + 8, AUDIO_WAVE_24, 3, 44), 7);
    EXPECT_EQ(frames_of_file(24 + 80, AUDIO_SUN_D, 2, 24), 5);
    EXPECT_EQ(frames_of_file(512 + 40, AUDIO_ILS_F, 2, 512), 5);
}

TEST(frames_of_file_size, nothing_behind_the_header_or_no_channels)
{
    EXPECT_EQ(frames_of_file(44, AUDIO_WAVE_16, 2, 44), 0);
    EXPECT_EQ(frames_of_file(20, AUDIO_WAVE_16, 2, 44), 0);
    EXPECT_EQ(frames_of_file(444, AUDIO_WAVE_16, 0, 44), 0);
    EXPECT_EQ(frames_of_file(444, AUDIO_WAVE_16, -1, 44), 0);
    EXPECT_EQ(frames_of_file(444, 27, 1, 44), 0);
}

TEST(frames_of_file_size, beyond_the_largest_int)
{
    // A sparse file of 8 GiB holds more 8-bit frames than an int counts.
    EXPECT_EQ(frames_of_file(uint64_t{8} << 30, AUDIO_WAVE_8, 1, 44), (int64_t{8} << 30) - 44);
    EXPECT_EQ(frames_of_file(uint64_t{8} << 30, AUDIO_WAVE_16, 2, 44), 2147483637);
}

TEST(frames_of_file_size, a_pipe_counts_as_the_largest_file)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    FILE* f = fdopen(fds[0], "rb");
    audio_header h;
    init_audio_header(&h);
    h.data_offset = 44;
    h.channels = 2;
    EXPECT_EQ(frames_from_file_size(f, &h), (INT64_MAX - 44) / 2 / 2);
    h.type = AUDIO_SUN_D;
    h.channels = 1;
    EXPECT_EQ(frames_from_file_size(f, &h), (INT64_MAX - 44) / 8);
    h.type = AUDIO_WAVE_8;
    EXPECT_EQ(frames_from_file_size(f, &h), INT64_MAX - 44);
    std::fclose(f);
    close(fds[1]);
}

TEST(reader_defaults, are_the_ils_values_a_new_header_has)
{
    audio_header h;
    std::memset(&h, 0x77, sizeof h);
    set_reader_defaults(&h);
    expect_ils_defaults(h);
    EXPECT_EQ(h.channels, 0x77777777);  // the rest is the reader's
}

}  // namespace
