// Handles: the magic names in each mode, what close writes and reports,
// seeking by frames, the in-place header rewrite and the reader chain's
// answers for inputs that no reader takes.
#include "audiofile.h"
#include "byteorder.h"
#include "formats.h"
#include "run.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

audio_header wave_header(int type, int channels, int frames)
{
    audio_header h;
    init_audio_header(&h);
    h.type = type;
    h.channels = channels;
    h.frames = frames;
    return h;
}

// A WAVE file whose sample k of channel c holds 100 * k + c.
void write_numbered(const std::string& name, int type, int channels, int frames)
{
    audio_header h = wave_header(type, channels, frames);
    audio_file* file = open_audio_file(name.c_str(), "w", &h);
    ASSERT_NE(file, nullptr);
    std::vector<double> frame(static_cast<size_t>(channels));
    for (int k = 0; k < frames; ++k) {
        for (int c = 0; c < channels; ++c)
            frame[static_cast<size_t>(c)] = 100.0 * k + c;
        ASSERT_EQ(write_audio_frame(frame.data(), file), 0);
    }
    ASSERT_EQ(close_audio_file(file), 0);
}

// Runs open_audio_file and returns what it printed on standard error.
std::string open_messages(const char* name, const char* mode, audio_file** file, audio_header* h)
{
    testing::internal::CaptureStderr();
    *file = open_audio_file(name, mode, h);
    return testing::internal::GetCapturedStderr();
}

// A stream reading the given bytes through a pipe, which cannot seek.
FILE* pipe_of(const std::string& bytes)
{
    int fds[2];
    if (pipe(fds) != 0)
        return nullptr;
    const ssize_t written = write(fds[1], bytes.data(), bytes.size());  // small: fits the pipe
    close(fds[1]);
    if (written != static_cast<ssize_t>(bytes.size())) {
        close(fds[0]);
        return nullptr;
    }
    return fdopen(fds[0], "rb");
}

TEST(handle_magic_names, standard_input_cannot_be_written)
{
    audio_header h = wave_header(AUDIO_WAVE_16, 1, 0);
    audio_file* file = nullptr;
    EXPECT_EQ(open_messages(AUDIO_FROM_STDIN, "w", &file, &h), "\nUnable to write stdin !!");
    EXPECT_EQ(file, nullptr);
}

TEST(handle_magic_names, neither_standard_stream_can_be_updated)
{
    for (const char* name : {AUDIO_FROM_STDIN, AUDIO_TO_STDOUT}) {
        audio_header h = wave_header(AUDIO_WAVE_16, 1, 0);
        audio_file* file = nullptr;
        EXPECT_EQ(open_messages(name, "r+", &file, &h), "\nUnable to update stdin/stdout !!") << name;
        EXPECT_EQ(file, nullptr);
    }
}

TEST(handle_magic_names, standard_output_name_opened_for_reading_is_a_file_name)
{
    temp_dir dir;
    write_numbered(dir.file(AUDIO_TO_STDOUT), AUDIO_WAVE_16, 1, 3);
    char* here = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(dir.path.c_str()), 0);
    audio_header h{};
    audio_file* file = open_audio_file(AUDIO_TO_STDOUT, "r", &h);
    ASSERT_EQ(chdir(here), 0);
    std::free(here);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(h.frames, 3);
    double frame = 0;
    EXPECT_EQ(read_audio_frame(&frame, file), 0);
    EXPECT_EQ(close_audio_file(file), 0);
}

TEST(handle_magic_names, standard_output_takes_the_header_and_every_frame_and_stays_open)
{
    audio_header h = wave_header(AUDIO_WAVE_16, 2, 3);
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    audio_file* file = open_audio_file(AUDIO_TO_STDOUT, "w", &h);
    ASSERT_NE(file, nullptr);
    const double frame[2] = {1.0, -1.0};
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(write_audio_frame(frame, file), 0);
    EXPECT_EQ(close_audio_file(file), 0);
    EXPECT_NE(std::fputs("", stdout), EOF);  // still open
    std::fflush(stdout);
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_EQ(out.size(), 44u + 12u);
    EXPECT_EQ(out.substr(0, 4), "RIFF");
    EXPECT_EQ(out.substr(44), std::string("\x01\x00\xFF\xFF\x01\x00\xFF\xFF\x01\x00\xFF\xFF", 12));
}

TEST(handle_open, missing_file_is_reported_with_its_name)
{
    audio_header h{};
    audio_file* file = nullptr;
    const std::string name = "/nonexistent-folder/in.wav";
    EXPECT_EQ(open_messages(name.c_str(), "r", &file, &h), name + ": No such file or directory\n");
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(open_messages(name.c_str(), "r+", &file, &h), name + ": No such file or directory\n");
    EXPECT_EQ(file, nullptr);
    h = wave_header(AUDIO_WAVE_16, 1, 0);
    EXPECT_EQ(open_messages(name.c_str(), "w", &file, &h), name + ": No such file or directory\n");
    EXPECT_EQ(file, nullptr);
}

TEST(handle_open, names_of_any_length)
{
    temp_dir dir;
    const std::string name = dir.file(std::string(200, 'n') + "/" + std::string(200, 'm') + ".wav");
    std::filesystem::create_directories(dir.file(std::string(200, 'n')));
    write_numbered(name, AUDIO_WAVE_8, 1, 5);
    audio_header h{};
    audio_file* file = open_audio_file(name.c_str(), "r", &h);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(h.frames, 5);
    EXPECT_EQ(close_audio_file(file), 0);
    EXPECT_EQ(rewrite_audio_header(name.c_str(), &h, 5), 0);
}

TEST(handle_close, writes_the_buffered_frames)
{
    temp_dir dir;
    const std::string name = dir.file("three.wav");
    audio_header h = wave_header(AUDIO_WAVE_16, 2, 3);
    audio_file* file = open_audio_file(name.c_str(), "w", &h);
    ASSERT_NE(file, nullptr);
    const double frame[2] = {258.0, -2.0};
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(write_audio_frame(frame, file), 0);
    EXPECT_EQ(file->buffer_index, 3);
    EXPECT_EQ(close_audio_file(file), 0);
    const std::string content = read_file(name);
    ASSERT_EQ(content.size(), 44u + 12u);
    EXPECT_EQ(content.substr(44), std::string("\x02\x01\xFE\xFF\x02\x01\xFE\xFF\x02\x01\xFE\xFF", 12));
}

TEST(handle_close, of_a_read_handle_writes_nothing)
{
    temp_dir dir;
    const std::string name = dir.file("in.wav");
    write_numbered(name, AUDIO_WAVE_16, 2, 10);
    const std::string before = read_file(name);
    for (const char* mode : {"r", "r+"}) {
        audio_header h{};
        audio_file* file = open_audio_file(name.c_str(), mode, &h);
        ASSERT_NE(file, nullptr);
        double frame[2];
        ASSERT_EQ(read_audio_frame(frame, file), 0);
        EXPECT_EQ(close_audio_file(file), 0);
        EXPECT_EQ(read_file(name), before) << mode;
    }
}

TEST(handle_close, a_lost_write_is_reported)
{
    audio_header h = wave_header(AUDIO_WAVE_16, 2, 3);
    audio_file* file = open_audio_file("/dev/full", "w", &h);
    if (file == nullptr)
        GTEST_SKIP() << "/dev/full is not available";
    const double frame[2] = {1.0, 2.0};
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(write_audio_frame(frame, file), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(close_audio_file(file), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "\nError closing file");
}

TEST(handle_close, a_lost_header_alone_is_reported)
{
    audio_header h = wave_header(AUDIO_WAVE_16, 1, 0);
    audio_file* file = open_audio_file("/dev/full", "w", &h);
    if (file == nullptr)
        GTEST_SKIP() << "/dev/full is not available";
    testing::internal::CaptureStderr();
    EXPECT_EQ(close_audio_file(file), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "\nError closing file");
}

TEST(handle_seek, from_the_first_sample_by_whole_frames)
{
    temp_dir dir;
    const std::string name = dir.file("s24.wav");
    write_numbered(name, AUDIO_WAVE_24, 2, 100);
    audio_header h{};
    audio_file* file = open_audio_file(name.c_str(), "r", &h);
    ASSERT_NE(file, nullptr);
    double frame[2];
    ASSERT_EQ(read_audio_frame(frame, file), 0);  // a filled buffer is dropped by the seek
    ASSERT_EQ(seek_audio_file(file, 10, SEEK_SET), 0);
    EXPECT_EQ(std::ftell(file->stream), h.data_offset + 60);
    EXPECT_EQ(h.data_offset, 44);
    ASSERT_EQ(read_audio_frame(frame, file), 0);
    EXPECT_EQ(frame[0], 1000.0);
    EXPECT_EQ(frame[1], 1001.0);
    EXPECT_EQ(close_audio_file(file), 0);
}

TEST(handle_seek, from_the_current_position_and_from_the_end)
{
    temp_dir dir;
    const std::string name = dir.file("s16.wav");
    write_numbered(name, AUDIO_WAVE_16, 3, 50);
    audio_header h{};
    audio_file* file = open_audio_file(name.c_str(), "r", &h);
    ASSERT_NE(file, nullptr);
    double frame[3];
    ASSERT_EQ(seek_audio_file(file, 5, SEEK_CUR), 0);
    ASSERT_EQ(read_audio_frame(frame, file), 0);
    EXPECT_EQ(frame[0], 500.0);
    ASSERT_EQ(seek_audio_file(file, -3, SEEK_END), 0);
    ASSERT_EQ(read_audio_frame(frame, file), 0);
    EXPECT_EQ(frame[0], 4700.0);
    EXPECT_EQ(close_audio_file(file), 0);
}

TEST(handle_seek, a_distance_beyond_64_bits_is_an_invalid_seek)
{
    temp_dir dir;
    const std::string name = dir.file("s16.wav");
    write_numbered(name, AUDIO_WAVE_16, 1, 5);
    audio_header h{};
    audio_file* file = open_audio_file(name.c_str(), "r", &h);
    ASSERT_NE(file, nullptr);
    h.channels = 1 << 30;  // as a broken header of another format could say
    h.type = AUDIO_SUN_D;
    testing::internal::CaptureStderr();
    EXPECT_EQ(seek_audio_file(file, INT32_MAX, SEEK_SET), -1);
    EXPECT_EQ(seek_audio_file(file, INT32_MIN, SEEK_CUR), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "\nInvalid seek attempt\nInvalid seek attempt");
    EXPECT_EQ(close_audio_file(file), 0);
}

TEST(handle_seek, on_a_write_handle_is_refused_with_82)
{
    temp_dir dir;
    audio_header h = wave_header(AUDIO_WAVE_16, 1, 0);
    audio_file* file = open_audio_file(dir.file("out.wav").c_str(), "w", &h);
    ASSERT_NE(file, nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(seek_audio_file(file, 1, SEEK_SET), 82);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "\nSeek attempt at outputfile");
    EXPECT_EQ(close_audio_file(file), 0);
}

TEST(handle_seek, on_a_pipe_is_an_invalid_seek)
{
    temp_dir dir;
    const std::string name = dir.file("in.wav");
    write_numbered(name, AUDIO_WAVE_16, 2, 20);
    FILE* stream = pipe_of(read_file(name));
    ASSERT_NE(stream, nullptr);
    audio_header h{};
    ASSERT_EQ(read_audio_header(stream, &h), 0);
    EXPECT_EQ(h.frames, 20);
    auto* file = new audio_file{};
    file->stream = stream;
    file->header = &h;
    file->mode = AUDIO_MODE_READ;
    file->buffer.reset(new unsigned char[AUDIO_BUFFER_SIZE]);
    testing::internal::CaptureStderr();
    EXPECT_EQ(seek_audio_file(file, 10, SEEK_SET), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "\nInvalid seek attempt");
    double frame[2];
    ASSERT_EQ(read_audio_frame(frame, file), 0);  // the stream stays where it was
    EXPECT_EQ(frame[0], 0.0);
    EXPECT_EQ(close_audio_file(file), 0);
}

TEST(handle_rewrite, corrects_the_count_and_keeps_the_length)
{
    temp_dir dir;
    const std::string name = dir.file("out.wav");
    audio_header h = wave_header(AUDIO_WAVE_24, 2, 0);  // count unknown when opened
    audio_file* file = open_audio_file(name.c_str(), "w", &h);
    ASSERT_NE(file, nullptr);
    const double frame[2] = {-1.0, 8388607.0};
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(write_audio_frame(frame, file), 0);
    ASSERT_EQ(close_audio_file(file), 0);
    const std::string before = read_file(name);
    ASSERT_EQ(before.size(), 44u + 6000u);
    EXPECT_EQ(before.substr(40, 4), std::string(4, '\0'));

    EXPECT_EQ(rewrite_audio_header(name.c_str(), &h, 1000), 0);
    const std::string after = read_file(name);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after.substr(44), before.substr(44));
    EXPECT_EQ(after.substr(4, 4), std::string("\x94\x17\x00\x00", 4));   // 6036
    EXPECT_EQ(after.substr(40, 4), std::string("\x70\x17\x00\x00", 4));  // 6000
    EXPECT_EQ(h.frames, 1000);

    audio_header back{};
    file = open_audio_file(name.c_str(), "r", &back);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(back.frames, 1000);
    EXPECT_EQ(back.channels, 2);
    EXPECT_EQ(back.type, AUDIO_WAVE_24);
    EXPECT_EQ(close_audio_file(file), 0);
}

struct big_count_case {
    int type;
    int64_t frames;     // the count rewritten
    size_t field;       // where the header keeps it (bytes or frames)
    bool big_endian;
    uint32_t stored;    // what that field then holds
    int64_t read_back;  // the count a reader takes from it; -1: the file's 6 frames
};

class rewrite_count : public testing::TestWithParam<big_count_case> {};

// Counts of 2^31 frames and more: a field holds the true count wherever it
// fits its width and says "to the end of the file" only beyond.
TEST_P(rewrite_count, holds_the_true_count_where_the_field_does)
{
    const big_count_case& c = GetParam();
    temp_dir dir;
    const std::string name = dir.file("out");
    audio_header h = wave_header(c.type, 1, 0);
    audio_file* file = open_audio_file(name.c_str(), "w", &h);
    ASSERT_NE(file, nullptr);
    const std::vector<double> frames(6, 1.0);
    ASSERT_EQ(write_audio_frames(frames.data(), 6, file), 0);
    ASSERT_EQ(close_audio_file(file), 0);
    const size_t length = read_file(name).size();

    ASSERT_EQ(rewrite_audio_header(name.c_str(), &h, c.frames), 0);
    const std::string after = read_file(name);
    ASSERT_EQ(after.size(), length);
    const auto* field = reinterpret_cast<const unsigned char*>(after.data() + c.field);
    EXPECT_EQ(c.big_endian ? load_be32(field) : load_le32(field), c.stored);
    audio_header back{};
    file = open_audio_file(name.c_str(), "r", &back);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(back.frames, c.read_back < 0 ? 6 : c.read_back);
    close_audio_file(file);
}

constexpr int64_t three_gib = int64_t{3} << 30;
constexpr int64_t four_gib = int64_t{4} << 30;

INSTANTIATE_TEST_SUITE_P(
    families, rewrite_count,
    testing::Values(big_count_case{AUDIO_WAVE_8, three_gib, 40, false, 0xC0000000u, three_gib},
                    big_count_case{AUDIO_WAVE_8, four_gib, 40, false, 0xFFFFFFFFu, -1},
                    big_count_case{AUDIO_SUN_8, three_gib, 8, true, 0xC0000000u, three_gib},
                    big_count_case{AUDIO_SUN_16, three_gib, 8, true, 0xFFFFFFFFu, -1},
                    big_count_case{AUDIO_AIFF_8, three_gib, 22, true, 0xC0000000u, three_gib},
                    big_count_case{AUDIO_AIFF_16, three_gib, 22, true, 0xC0000000u, three_gib},  // SSND saturates
                    big_count_case{AUDIO_AIFC_8, four_gib, 34, true, 0xFFFFFFFFu, -1},
                    big_count_case{AUDIO_ILS, INT32_MAX, 4 * 54, false, 0x7FFFFFFFu, INT32_MAX},
                    big_count_case{AUDIO_ILS, three_gib, 4 * 54, false, 0xFFFFFFFFu, -1}),
    [](const auto& info) { return type_code_name(info.param.type) + "_frames_" + number_name(info.param.frames); });

TEST(handle_rewrite, leaves_standard_output_and_devices_alone_and_refuses_missing_files)
{
    audio_header h = wave_header(AUDIO_WAVE_16, 1, 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(rewrite_audio_header(AUDIO_TO_STDOUT, &h, 5), 1);
    EXPECT_EQ(rewrite_audio_header("/dev/null", &h, 5), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    testing::internal::CaptureStderr();
    EXPECT_EQ(rewrite_audio_header("/nonexistent-folder/x.wav", &h, 5), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "/nonexistent-folder/x.wav: No such file or directory\n");
}

TEST(handle_reader_chain, unknown_file_is_not_recognised)
{
    temp_dir dir;
    const std::string name = dir.file("text.txt");
    std::string text;
    while (text.size() < 2000)
        text += "This is a text file, no audio at all. ";
    write_file(name, text);
    audio_header h{};
    audio_file* file = nullptr;
    EXPECT_EQ(open_messages(name.c_str(), "r", &file, &h), "\nInputfile error: filetype not recognized !\n");
    EXPECT_EQ(file, nullptr);

    FILE* stream = std::fopen(name.c_str(), "rb");
    ASSERT_NE(stream, nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(read_audio_header(stream, &h), NOT_RECOGNISED);
    testing::internal::GetCapturedStderr();
    std::fclose(stream);
}

TEST(handle_reader_chain, empty_input_is_not_recognised)
{
    temp_dir dir;
    const std::string name = dir.file("empty");
    write_file(name, "");
    audio_header h{};
    audio_file* file = nullptr;
    EXPECT_EQ(open_messages(name.c_str(), "r", &file, &h), "\nInputfile error: filetype not recognized !\n");
    EXPECT_EQ(file, nullptr);

    FILE* stream = pipe_of("");
    ASSERT_NE(stream, nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(read_audio_header(stream, &h), NOT_RECOGNISED);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "\nInputfile error: filetype not recognized !\n");
    std::fclose(stream);
}

TEST(handle_reader_chain, a_broken_wave_file_stops_the_chain_with_its_code)
{
    FILE* stream = pipe_of(std::string("RIFF\x04\x00\x00\x00WAVX", 12));
    ASSERT_NE(stream, nullptr);
    audio_header h{};
    testing::internal::CaptureStderr();
    EXPECT_EQ(read_audio_header(stream, &h), WAVE_BROKEN);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "get_chunk_type: WAVX != WAVE_CHUNK\n\nError reading WAVE file");
    std::fclose(stream);
}

TEST(handle_reader_chain, probe_record_starts_empty_for_every_header)
{
    temp_dir dir;
    const std::string name = dir.file("in.wav");
    write_numbered(name, AUDIO_WAVE_16, 1, 4);
    probe_fill = PROBE_SIZE;  // as if a previous probe had filled it
    audio_header h{};
    audio_file* file = open_audio_file(name.c_str(), "r", &h);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(h.frames, 4);
    EXPECT_EQ(close_audio_file(file), 0);
}

TEST(handle_write_header, wave_family_code_writes_a_16_bit_header)
{
    temp_dir dir;
    const std::string name = dir.file("family.wav");
    audio_header h = wave_header(AUDIO_WAVE, 2, 10);
    FILE* stream = std::fopen(name.c_str(), "wb");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(write_audio_header(stream, &h), 0);
    std::fclose(stream);
    const std::string content = read_file(name);
    ASSERT_EQ(content.size(), 44u);
    EXPECT_EQ(content.substr(32, 4), std::string("\x04\x00\x10\x00", 4));  // block align 4, 16 bits
    EXPECT_EQ(content.substr(40, 4), std::string("\x28\x00\x00\x00", 4));  // 40 data bytes
}

TEST(handle_open, unknown_mode_is_refused)
{
    temp_dir dir;
    audio_header h = wave_header(AUDIO_WAVE_16, 1, 0);
    EXPECT_EQ(open_audio_file(dir.file("x.wav").c_str(), "a", &h), nullptr);
}

}  // namespace
