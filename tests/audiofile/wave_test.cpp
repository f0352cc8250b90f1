// The WAVE writer's header bytes and every case of the WAVE reader's chunk
// scan, from files and from pipes.
#include "audiofile.h"
#include "byteorder.h"
#include "formats.h"
#include "header_checks.h"
#include "run.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string le16(uint32_t v)
{
    unsigned char b[2];
    store_le16(b, v);
    return std::string(reinterpret_cast<char*>(b), 2);
}

std::string le32(uint32_t v)
{
    unsigned char b[4];
    store_le32(b, v);
    return std::string(reinterpret_cast<char*>(b), 4);
}

std::string chunk(const std::string& id, const std::string& payload) { return id + le32(payload.size()) + payload; }

std::string fmt_payload(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits)
{
    const uint32_t align = channels * (bits / 8u);
    return le16(tag) + le16(channels) + le32(rate) + le32(rate * align) + le16(align) + le16(bits);
}

// The 40-byte fmt chunk of WAVE_FORMAT_EXTENSIBLE with a sub-format GUID
// whose first two bytes are the format it stands for.
std::string extensible_payload(uint16_t channels, uint32_t rate, uint16_t container, uint16_t valid, uint16_t sub)
{
    return fmt_payload(0xFFFE, channels, rate, container) + le16(22) + le16(valid) + le32(3) + le16(sub) +
           std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
}

std::string riff(const std::string& body) { return "RIFF" + le32(4 + body.size()) + "WAVE" + body; }

struct read_result {
    int code;
    audio_header header;
    std::string messages;
    std::vector<double> samples;  // all frames' samples, when read
};

// Reads the header of bytes from a file (or a pipe) and then every frame.
read_result read_wave(const std::string& bytes, bool through_pipe = false)
{
    read_result r{};
    std::memset(&r.header, 0x5A, sizeof r.header);
    FILE* stream = nullptr;
    temp_dir dir;
    if (through_pipe) {
        int fds[2];
        if (pipe(fds) != 0)
            return r;
        if (write(fds[1], bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            return r;
        close(fds[1]);
        stream = fdopen(fds[0], "rb");
    } else {
        write_file(dir.file("in.wav"), bytes);
        stream = std::fopen(dir.file("in.wav").c_str(), "rb");
    }
    testing::internal::CaptureStderr();
    r.code = read_audio_header(stream, &r.header);
    r.messages = testing::internal::GetCapturedStderr();
    if (r.code == 0 && r.header.channels > 0) {
        auto* file = new audio_file{};
        file->stream = stream;
        file->header = &r.header;
        file->mode = AUDIO_MODE_READ;
        file->buffer.reset(new unsigned char[AUDIO_BUFFER_SIZE]);
        std::vector<double> frame(static_cast<size_t>(r.header.channels));
        while (read_audio_frame(frame.data(), file) == 0)
            r.samples.insert(r.samples.end(), frame.begin(), frame.end());
        close_audio_file(file);
    } else {
        std::fclose(stream);
    }
    return r;
}

std::string pcm16(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values)
        s += le16(static_cast<uint32_t>(v));
    return s;
}

// --- writer ----------------------------------------------------------------

std::string written_header(int type, int channels, int sfreq, int frames)
{
    audio_header h;
    init_audio_header(&h);
    h.type = type;
    h.channels = channels;
    h.sfreq = sfreq;
    h.frames = frames;
    temp_dir dir;
    FILE* f = std::fopen(dir.file("h").c_str(), "wb");
    write_wave_header(f, &h);
    std::fclose(f);
    return read_file(dir.file("h"));
}

TEST(wave_writer, sixteen_bit_stereo_header)
{
    EXPECT_EQ(written_header(AUDIO_WAVE_16, 2, 44100, 1000),
              "RIFF" + le32(4036) + "WAVE" + "fmt " + le32(16) + le16(1) + le16(2) + le32(44100) + le32(176400) +
                  le16(4) + le16(16) + "data" + le32(4000));
}

TEST(wave_writer, whole_file_of_1000_frames_is_4044_bytes)
{
    temp_dir dir;
    audio_header h;
    init_audio_header(&h);
    h.sfreq = 44100;
    h.frames = 1000;
    audio_file* file = open_audio_file(dir.file("a.wav").c_str(), "w", &h);
    ASSERT_NE(file, nullptr);
    const double frame[2] = {0, 0};
    for (int i = 0; i < 1000; ++i)
        write_audio_frame(frame, file);
    ASSERT_EQ(close_audio_file(file), 0);
    EXPECT_EQ(read_file(dir.file("a.wav")).size(), 4044u);
}

TEST(wave_writer, twenty_four_bit_rates)
{
    const std::string h = written_header(AUDIO_WAVE_24, 2, 48000, 10);
    EXPECT_EQ(h.substr(28, 4), le32(288000));
    EXPECT_EQ(h.substr(32, 2), le16(6));
    EXPECT_EQ(h.substr(34, 2), le16(24));
    EXPECT_EQ(h.substr(40, 4), le32(60));
}

TEST(wave_writer, eight_bit_odd_length_has_no_pad)
{
    temp_dir dir;
    audio_header h;
    init_audio_header(&h);
    h.type = AUDIO_WAVE_8;
    h.channels = 1;
    h.frames = 101;
    audio_file* file = open_audio_file(dir.file("a.wav").c_str(), "w", &h);
    ASSERT_NE(file, nullptr);
    const double frame = 5;
    for (int i = 0; i < 101; ++i)
        write_audio_frame(&frame, file);
    ASSERT_EQ(close_audio_file(file), 0);
    const std::string content = read_file(dir.file("a.wav"));
    ASSERT_EQ(content.size(), 44u + 101u);
    EXPECT_EQ(content.substr(4, 4), le32(137));
    EXPECT_EQ(content.substr(40, 4), le32(101));
    EXPECT_EQ(static_cast<unsigned char>(content.back()), 133);
}

TEST(wave_writer, thirty_two_bit_and_sizes_beyond_32_bits_saturate)
{
    const std::string h = written_header(AUDIO_WAVE_32, 2, 96000, INT_MAX);
    EXPECT_EQ(h.substr(28, 4), le32(768000));
    EXPECT_EQ(h.substr(32, 2), le16(8));
    EXPECT_EQ(h.substr(34, 2), le16(32));
    // (2^31 - 1) * 8 = 2^34 - 8 does not fit: both sizes say "to the end".
    EXPECT_EQ(h.substr(40, 4), le32(0xFFFFFFFFu));
    EXPECT_EQ(h.substr(4, 4), le32(0xFFFFFFFFu));
    // Just below the limit the sizes are exact.
    const std::string fits = written_header(AUDIO_WAVE_8, 1, 8000, 0x7FFFFFFF);
    EXPECT_EQ(fits.substr(40, 4), le32(0x7FFFFFFFu));
    EXPECT_EQ(fits.substr(4, 4), le32(0x7FFFFFFFu + 36u));
}

TEST(wave_reader, a_chunk_too_long_to_pass_is_refused_at_once)
{
    // A pipe would otherwise be read for gigabytes before the answer.
    const read_result r =
        read_wave(riff(chunk("fmt ", fmt_payload(1, 1, 8000, 8)) + "fact" + le32(0xFFFFFFF0u) + std::string(64, '\0')));
    EXPECT_EQ(r.code, WAVE_BROKEN);
    EXPECT_EQ(r.messages, "wave: samples begin beyond 2 GiB\n\nError reading WAVE file");
}

TEST(wave_writer, header_reads_back)
{
    for (int type : {AUDIO_WAVE_8, AUDIO_WAVE_16, AUDIO_WAVE_24, AUDIO_WAVE_32}) {
        const read_result r = read_wave(written_header(type, 5, 22050, 0) + std::string(5 * 4 * 3, '\0'));
        ASSERT_EQ(r.code, 0) << r.messages;
        EXPECT_EQ(r.header.type, type);
        EXPECT_EQ(r.header.channels, 5);
        EXPECT_EQ(r.header.sfreq, 22050);
        EXPECT_EQ(r.header.frames, 12 / (get_type_bits(type) / 8));  // from the file size
    }
}

// --- reader ----------------------------------------------------------------

TEST(wave_reader, plain_file_fills_every_field)
{
    const read_result r =
        read_wave(riff(chunk("fmt ", fmt_payload(1, 2, 44100, 16)) + chunk("data", pcm16({1, -1, 300, -300}))));
    ASSERT_EQ(r.code, 0) << r.messages;
    EXPECT_EQ(r.messages, "");
    const audio_header& h = r.header;
    EXPECT_EQ(h.type, AUDIO_WAVE_16);
    EXPECT_EQ(h.channels, 2);
    EXPECT_EQ(h.sfreq, 44100);
    EXPECT_EQ(h.frames, 2);
    EXPECT_EQ(h.data_offset, 44);
    EXPECT_EQ(h.comment[0], '\0');
    expect_ils_defaults(h);
    EXPECT_EQ(r.samples, (std::vector<double>{1, -1, 300, -300}));
}

TEST(wave_reader, same_answers_from_a_pipe)
{
    const std::string file = riff(chunk("fmt ", fmt_payload(1, 1, 8000, 8)) + chunk("fact", le32(3)) +
                                  chunk("data", std::string("\x80\xFF\x00", 3)));
    const read_result from_file = read_wave(file);
    const read_result from_pipe = read_wave(file, true);
    ASSERT_EQ(from_pipe.code, 0) << from_pipe.messages;
    EXPECT_EQ(from_pipe.header.data_offset, from_file.header.data_offset);
    EXPECT_EQ(from_pipe.header.data_offset, 56);
    EXPECT_EQ(from_pipe.header.frames, 3);
    EXPECT_EQ(from_pipe.header.type, AUDIO_WAVE_8);
    EXPECT_EQ(from_pipe.samples, (std::vector<double>{0, 127, -128}));
    EXPECT_EQ(from_file.samples, from_pipe.samples);
}

TEST(wave_reader, fmt_chunk_of_18_bytes)
{
    const read_result r = read_wave(
        riff(chunk("fmt ", fmt_payload(1, 1, 48000, 24) + le16(0)) + chunk("data", std::string("\x01\x02\x03", 3))));
    ASSERT_EQ(r.code, 0) << r.messages;
    EXPECT_EQ(r.header.data_offset, 46);
    EXPECT_EQ(r.header.type, AUDIO_WAVE_24);
    EXPECT_EQ(r.samples, (std::vector<double>{0x030201}));
}

TEST(wave_reader, chunks_of_the_table_are_skipped_without_pad)
{
    // An odd-sized chunk is followed directly by the next identifier.
    const read_result r = read_wave(riff(chunk("cue ", "abc") + chunk("fmt ", fmt_payload(1, 1, 8000, 16)) +
                                         chunk("plst", "") + chunk("fact", le32(1)) + chunk("data", pcm16({-5}))));
    ASSERT_EQ(r.code, 0) << r.messages;
    EXPECT_EQ(r.header.data_offset, 12 + 11 + 24 + 8 + 12 + 8);
    EXPECT_EQ(r.samples, (std::vector<double>{-5}));
}

TEST(wave_reader, later_fmt_chunk_replaces_the_earlier)
{
    const read_result r = read_wave(riff(chunk("fmt ", fmt_payload(1, 2, 44100, 16)) +
                                         chunk("fmt ", fmt_payload(1, 1, 8000, 8)) + chunk("data", "\x90")));
    ASSERT_EQ(r.code, 0) << r.messages;
    EXPECT_EQ(r.header.channels, 1);
    EXPECT_EQ(r.header.sfreq, 8000);
    EXPECT_EQ(r.header.type, AUDIO_WAVE_8);
}

TEST(wave_reader, extensible_integer_pcm_is_read_with_its_container_width)
{
    // As sox writes 24-bit audio: 3 channels, 20 valid bits in 24-bit containers.
    const read_result r = read_wave(riff(chunk("fmt ", extensible_payload(3, 96000, 24, 20, 1)) + chunk("fact", le32(1)) +
                                         chunk("data", std::string("\x01\x00\x00\xFF\xFF\xFF\x00\x00\x80", 9))));
    ASSERT_EQ(r.code, 0) << r.messages;
    EXPECT_EQ(r.header.type, AUDIO_WAVE_24);
    EXPECT_EQ(r.header.channels, 3);
    EXPECT_EQ(r.header.sfreq, 96000);
    EXPECT_EQ(r.header.frames, 1);
    EXPECT_EQ(r.header.data_offset, 12 + 48 + 12 + 8);
    EXPECT_EQ(r.samples, (std::vector<double>{1, -1, -8388608}));
}

struct rejected_case {
    const char* name;
    std::string file;
    std::string message;  // the reader's own, before "\nError reading WAVE file"
    int type = 0;         // without a message: the file reads as this type
};

class wave_rejected : public testing::TestWithParam<rejected_case> {};

TEST_P(wave_rejected, with_its_message_and_the_broken_code)
{
    const rejected_case& c = GetParam();
    for (bool through_pipe : {false, true}) {
        const read_result r = read_wave(c.file, through_pipe);
        if (c.message.empty()) {
            EXPECT_EQ(r.header.type, c.type) << r.messages;
            continue;
        }
        EXPECT_EQ(r.code, WAVE_BROKEN);
        EXPECT_EQ(r.messages, c.message + "\nError reading WAVE file") << (through_pipe ? "pipe" : "file");
    }
}

const std::string fmt16 = chunk("fmt ", fmt_payload(1, 2, 44100, 16));

INSTANTIATE_TEST_SUITE_P(
    wave_reader, wave_rejected,
    testing::Values(
        rejected_case{"not_wave_form", "RIFF" + le32(4) + "AIFF" + fmt16, "get_chunk_type: AIFF != WAVE_CHUNK\n"},
        rejected_case{"unprintable_identifier", riff(fmt16 + chunk(std::string("LI\x01T", 4), "INFO") + chunk("data", "")),
                      "get_chunk_type: LI\x01T not recognized\n"},
        rejected_case{"unknown_chunk_past_the_end", riff(fmt16) + "LIST" + le32(100) + "INFO",
                      "wave: file ends before the data chunk\n"},
        rejected_case{"float_tag_3", riff(chunk("fmt ", fmt_payload(3, 2, 44100, 32)) + chunk("data", "")),
                      "wave format tag: 0x0003 (IEEE float) not supported\n"},
        rejected_case{"unnamed_tag", riff(chunk("fmt ", fmt_payload(0x50, 2, 44100, 0)) + chunk("data", "")),
                      "wave format tag: 0x0050 not supported\n"},
        rejected_case{"extensible_float",
                      riff(chunk("fmt ", extensible_payload(2, 48000, 32, 32, 3)) + chunk("data", "")),
                      "wave format tag: 0xFFFE (extensible), sub-format 0x0003 (IEEE float) not supported\n"},
        rejected_case{"extensible_without_extension",
                      riff(chunk("fmt ", fmt_payload(0xFFFE, 2, 48000, 16) + le16(0)) + chunk("data", "")),
                      "wave: extensible fmt chunk without its sub-format\n"},
        rejected_case{"twelve_bits_in_one_byte", riff(chunk("fmt ", fmt_payload(1, 1, 8000, 12)) + chunk("data", "")),
                      "wave format samplesize: 12 not supported\n"},
        rejected_case{"negative_bits", riff(chunk("fmt ", fmt_payload(1, 1, 8000, 0xFFF0)) + chunk("data", "")),
                      "wave format samplesize: -16 not supported\n"},
        rejected_case{"data_before_fmt", riff(chunk("data", pcm16({1})) + fmt16),
                      "wave: data chunk before fmt chunk\n"},
        rejected_case{"ends_before_data", riff(fmt16), "wave: file ends before the data chunk\n"},
        rejected_case{"ends_inside_chunk_header", riff(fmt16 + "da"), "wave: file ends before the data chunk\n"},
        rejected_case{"ends_inside_skipped_chunk", riff(fmt16) + "fact" + le32(100) + "xx",
                      "wave: file ends before the data chunk\n"},
        rejected_case{"ends_inside_fmt", "RIFF" + le32(100) + "WAVE" + "fmt " + le32(16) + "\x01\x00",
                      "wave: file ends inside the fmt chunk\n"},
        rejected_case{"ends_inside_riff_header", std::string("RIFF\x10\x00", 6),
                      "wave: file ends inside the RIFF header\n"},
        // Chunks of other programs, odd ones with and without their pad byte,
        // and widths stored in wider containers are read.
        rejected_case{"chunks_before_fmt", riff(chunk("bext", "abc") + std::string(1, '\0') + chunk("FMT ", "") + fmt16 +
                                                chunk("junk", "abc") + chunk("data", "")), "", AUDIO_WAVE_16},
        rejected_case{"twenty_bits", riff(chunk("fmt ", extensible_payload(1, 8000, 24, 20, 1).replace(14, 2, le16(20))) +
                                          chunk("data", "")), "", AUDIO_WAVE_24},
        rejected_case{"five_bits", riff(chunk("fmt ", fmt_payload(1, 3, 8000, 5).replace(12, 2, le16(3))) + chunk("data", "")),
                      "", AUDIO_WAVE_8}),
    [](const testing::TestParamInfo<rejected_case>& info) { return std::string(info.param.name); });

TEST(wave_reader, a_chunk_after_the_data_is_read_as_frames)
{
    const read_result r = read_wave(riff(fmt16 + chunk("data", pcm16({1, 2})) + chunk("LIST", "abcd")));
    ASSERT_EQ(r.code, 0) << r.messages;
    EXPECT_EQ(r.header.frames, 1);
    // "LI" "ST", then the size 4 and "abcd" as two more stereo frames.
    EXPECT_EQ(r.samples, (std::vector<double>{1, 2, 0x494C, 0x5453, 4, 0, 0x6261, 0x6463}));
}

TEST(wave_reader, zero_data_size_counts_frames_from_the_file_size)
{
    std::string data;
    for (int i = 0; i < 200; ++i)
        data += le16(static_cast<uint32_t>(i));
    const read_result stereo = read_wave(riff(fmt16 + "data" + le32(0) + data));
    ASSERT_EQ(stereo.code, 0) << stereo.messages;
    EXPECT_EQ(stereo.header.frames, 100);  // a file of 444 bytes

    // Divided by the bytes of the type that was read: 8-bit mono gives all.
    const read_result eight = read_wave(riff(chunk("fmt ", fmt_payload(1, 1, 8000, 8)) + "data" + le32(0) +
                                             std::string(101, '\x80')));
    ASSERT_EQ(eight.code, 0) << eight.messages;
    EXPECT_EQ(eight.header.frames, 101);
    const read_result deep = read_wave(riff(chunk("fmt ", fmt_payload(1, 3, 8000, 24)) + "data" + le32(0) +
                                            std::string(9 * 7 + 2, '\0')));
    EXPECT_EQ(deep.header.frames, 7);
}

TEST(wave_reader, zero_data_size_on_a_pipe_counts_the_largest_file)
{
    const read_result mono16 =
        read_wave(riff(chunk("fmt ", fmt_payload(1, 1, 48000, 16)) + "data" + le32(0) + pcm16({1, 2, 3})), true);
    ASSERT_EQ(mono16.code, 0) << mono16.messages;
    EXPECT_EQ(mono16.header.frames, (INT64_MAX - 44) / 2);
    EXPECT_EQ(mono16.samples, (std::vector<double>{1, 2, 3}));  // and reads to the end
    const read_result mono8 =
        read_wave(riff(chunk("fmt ", fmt_payload(1, 1, 48000, 8)) + "data" + le32(0) + "\x80"), true);
    EXPECT_EQ(mono8.header.frames, INT64_MAX - 44);
}

TEST(wave_reader, large_data_sizes_do_not_wrap)
{
    // 1 GiB of 16-bit stereo and 512 MiB of 8-bit mono: the byte count times
    // 8 passes 2^32 and must not wrap to 0.
    const read_result a = read_wave(riff(fmt16 + "data" + le32(0x40000000u) + pcm16({0, 0})));
    EXPECT_EQ(a.header.frames, 268435456);
    const read_result b =
        read_wave(riff(chunk("fmt ", fmt_payload(1, 1, 8000, 8)) + "data" + le32(0x20000000u) + "\x80"));
    EXPECT_EQ(b.header.frames, 536870912);
    const read_result c =
        read_wave(riff(chunk("fmt ", fmt_payload(1, 1, 8000, 8)) + "data" + le32(0xFFFFFFFEu) + "\x80"));
    EXPECT_EQ(c.header.frames, 0xFFFFFFFE);
}

TEST(wave_reader, not_riff_is_not_mine_and_reads_nothing)
{
    // The first four bytes come from the probe record, not from the stream.
    std::memcpy(probe_bytes, "RIFX", 4);
    probe_fill = 4;
    FILE* stream = std::tmpfile();
    std::fputs("WAVEfmt ", stream);
    std::rewind(stream);
    audio_header h{};
    EXPECT_EQ(read_wave_header(stream, &h), WAVE_NOT_MINE);
    EXPECT_EQ(std::ftell(stream), 0);
    probe_fill = 2;
    std::memcpy(probe_bytes, "RIFF", 4);
    EXPECT_EQ(read_wave_header(stream, &h), WAVE_NOT_MINE);  // fewer than 4 bytes seen
    EXPECT_EQ(std::ftell(stream), 0);
    std::fclose(stream);
}

}  // namespace
