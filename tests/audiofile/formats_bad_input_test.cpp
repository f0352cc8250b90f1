// Bad input for every reader: headers cut at every byte, odd counts, sizes
// near 2^32 and seeded random damage.  Each gives a defined answer; the
// sanitizer build checks that nothing is read or written out of bounds.
#include "formats_helpers.h"
#include "run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace formats_test;

namespace {

int read_from_pipe(const std::string& bytes, audio_header* h)
{
    FILE* f = pipe_with(bytes);
    testing::internal::CaptureStderr();
    const int status = f == nullptr ? 1 : read_audio_header(f, h);
    testing::internal::GetCapturedStderr();
    if (f != nullptr)
        std::fclose(f);
    return status;
}

// Expected answer for the header cut to n of its bytes.
struct cut_case {
    const char* name;
    audio_header header;
    int (*expected)(size_t n, size_t full);
};

int sun_cut(size_t n, size_t full) { return n < 4 ? NOT_RECOGNISED : n < full ? SUN_BROKEN : 0; }
int aiff_cut(size_t n, size_t full) { return n < 4 ? NOT_RECOGNISED : n < full ? AIFF_BROKEN : 0; }
int ils_cut(size_t n, size_t full) { return n < full ? NOT_RECOGNISED : 0; }
int wave_cut(size_t n, size_t full) { return n < 4 ? NOT_RECOGNISED : n < full ? WAVE_BROKEN : 0; }
// The first line must hold "$SIGNAL_FILE" and a blank; after that the lines
// read so far make the header (a cut value line may be refused).
int spw_cut(size_t n, size_t) { return n < 13 ? NOT_RECOGNISED : 0; }

class truncated_header : public testing::TestWithParam<cut_case> {};

TEST_P(truncated_header, every_prefix_gets_a_defined_answer)
{
    const cut_case& c = GetParam();
    const std::string full = header_bytes(c.header);
    for (size_t n = 0; n <= full.size(); ++n) {
        const std::string cut = full.substr(0, n);
        const read_result r = read_header_of(cut);
        const int expected = c.expected(n, full.size());
        if (expected == 0 && r.status == SPW_BROKEN) {
            // A value cut short is refused like any other unknown value.
            const std::string last = cut.substr(cut.rfind('\n') + 1);
            EXPECT_TRUE(last.rfind("Signal Type = ", 0) == 0 || last.rfind("Fixed Point Format = ", 0) == 0) << n << ": " << last;
        } else {
            EXPECT_EQ(r.status, expected) << c.name << " cut at " << n << ": " << r.err;
        }
        if (r.status == 0) {
            EXPECT_LE(r.header.data_offset, static_cast<int32_t>(n)) << n;
            EXPECT_EQ(r.position, r.header.data_offset) << n;
        }
        audio_header h{};
        const int piped = read_from_pipe(cut, &h);
        EXPECT_EQ(piped, r.status) << c.name << " from a pipe, cut at " << n;
    }
}

INSTANTIATE_TEST_SUITE_P(
    writers, truncated_header,
    testing::Values(cut_case{"sun", make_header(AUDIO_SUN_16, 2, 8000, 1), sun_cut},
                    cut_case{"aiff", make_header(AUDIO_AIFF_24, 2, 8000, 1, "odd"), aiff_cut},
                    cut_case{"aifc", make_header(AUDIO_AIFC_16, 2, 8000, 1, "even"), aiff_cut},
                    cut_case{"spw", make_header(AUDIO_SPW, 2, 8000, 1, "comment"), spw_cut},
                    cut_case{"spw_d", make_header(AUDIO_SPW_D, 2, 8000, 1), spw_cut},
                    cut_case{"ils", make_header(AUDIO_ILS_D, 2, 8000, 1), ils_cut},
                    cut_case{"wave", make_header(AUDIO_WAVE_16, 2, 8000, 1), wave_cut}),
    [](const testing::TestParamInfo<cut_case>& info) { return std::string(info.param.name); });

std::string sun_file(uint32_t offset, uint32_t size, uint32_t encoding, uint32_t channels)
{
    return ".snd" + be32(offset) + be32(size) + be32(encoding) + be32(8000) + be32(channels);
}

TEST(sun_bad, sizes_near_2_to_32)
{
    read_result r = read_header_of(sun_file(0xFFFFFFFF, 8, 3, 1) + "data");
    EXPECT_EQ(r.status, SUN_BROKEN);
    EXPECT_EQ(r.err, "sun: samples begin beyond 2 GiB\n\nError reading SUN audio file");
    r = read_header_of(sun_file(0x7FFFFFFF, 8, 3, 1) + "data");
    EXPECT_EQ(r.status, SUN_BROKEN);
    EXPECT_EQ(r.err, "sun: file ends inside the annotation\n\nError reading SUN audio file");
    r = read_header_of(sun_file(24, 0xFFFFFFF0, 7, 0xFFFFFFFF) + "data");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.header.channels, -1);
    EXPECT_EQ(r.header.frames, 0);
    r = read_header_of(sun_file(24, 0xFFFFFFFE, 2, 1) + "data");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.header.frames, 0xFFFFFFFE);
    r = read_header_of(sun_file(24, 0, 2, 0x80000000) + "data");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.header.frames, 0);
}

TEST(sun_bad, unsupported_encoding_is_printed_whole)
{
    const read_result r = read_header_of(sun_file(24, 8, 0xFFFFFFFF, 1) + "data");
    EXPECT_EQ(r.status, SUN_BROKEN);
    EXPECT_EQ(r.err, "sun format: 4294967295 not supported\n\nError reading SUN audio file");
}

struct channel_case {
    const char* name;
    std::string file;
    int32_t channels;
    int frames_readable;  // frames read_audio_frame delivers
};

class odd_channels : public testing::TestWithParam<channel_case> {};

// Channel counts of 0 and 65535: the header reads, the frame functions
// deliver what the data hold or nothing.
TEST_P(odd_channels, read_and_decode_safely)
{
    const channel_case& c = GetParam();
    temp_dir dir;
    write_file(dir.file("f"), c.file);
    audio_header h{};
    testing::internal::CaptureStderr();
    audio_file* f = open_audio_file(dir.file("f").c_str(), "r", &h);
    testing::internal::GetCapturedStderr();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(h.channels, c.channels);
    // Wider frames than the sample buffer are never decoded.
    std::vector<double> frame(static_cast<size_t>(std::clamp(c.channels, 1, 70000)));
    int frames = 0;
    while (read_audio_frame(frame.data(), f) == 0)
        ++frames;
    EXPECT_EQ(frames, c.frames_readable);
    close_audio_file(f);
}

std::string aiff_with(uint16_t channels, size_t data_bytes)
{
    audio_header h = make_header(AUDIO_AIFF_16, 1, 8000, 0);
    std::string file = header_bytes(h);
    store_be16(reinterpret_cast<unsigned char*>(&file[20]), channels);
    return file + std::string(data_bytes, '\x01');
}

std::string ils_with(uint32_t channel_byte, size_t data_bytes)
{
    audio_header h = make_header(AUDIO_ILS, 1, 8000, 0);
    std::string file = header_bytes(h);
    file[4 * 65] = static_cast<char>(channel_byte);
    return file + std::string(data_bytes, '\x01');
}

INSTANTIATE_TEST_SUITE_P(
    files, odd_channels,
    testing::Values(channel_case{"sun_0", sun_file(24, 0, 3, 0) + std::string(100, '\0'), 0, 0},
                    channel_case{"sun_65535", sun_file(24, 0, 3, 65535) + std::string(2 * 65535 + 3, '\0'), 65535, 1},
                    channel_case{"sun_huge", sun_file(24, 0, 7, 0x7FFFFFFF) + std::string(100, '\0'), 0x7FFFFFFF, 0},
                    channel_case{"aiff_0", aiff_with(0, 100), 0, 0},
                    channel_case{"aiff_65535", aiff_with(65535, 100), -1, 0},
                    channel_case{"ils_0", ils_with(0xFF, 100), 0, 0},
                    channel_case{"ils_128", ils_with(0x7F, 2 * 128 * 3), 128, 3},
                    channel_case{"ils_minus", ils_with(0x80, 100), -127, 0}),
    [](const testing::TestParamInfo<channel_case>& info) { return std::string(info.param.name); });

// Seeded random damage to real headers: every answer is one of the codes and
// every successful read leaves a record the frame functions can be given.
TEST(random_damage, headers_of_every_family)
{
    const audio_header sources[] = {
        make_header(AUDIO_SUN_24, 2, 8000, 4),          make_header(AUDIO_AIFF_16, 2, 8000, 4, "note"),
        make_header(AUDIO_AIFC_32, 1, 44100, 4, "x"),   make_header(AUDIO_SPW, 2, 8000, 4, "comment"),
        make_header(AUDIO_ILS_F, 2, 8000, 4),           make_header(AUDIO_WAVE_8, 2, 8000, 4),
    };
    std::mt19937 random(20240601);
    const int valid[] = {0, SUN_BROKEN, WAVE_BROKEN, AIFF_BROKEN, SPW_BROKEN, NOT_RECOGNISED};
    temp_dir dir;
    const std::string name = dir.file("damaged");
    std::vector<double> frame(64);
    int decoded = 0;
    // The readers' messages are not the point here: one capture for all.
    testing::internal::CaptureStderr();
    for (const audio_header& source : sources) {
        const std::string clean = header_bytes(source) + std::string(64, '\x11');
        for (int round = 0; round < 300; ++round) {
            std::string file = clean;
            const int hits = 1 + static_cast<int>(random() % 4);
            for (int i = 0; i < hits; ++i)
                file[random() % file.size()] = static_cast<char>(random() % 4 == 0 ? 0xFF : random());
            if (random() % 4 == 0)
                file.resize(random() % file.size());
            std::remove(name.c_str());  // a fresh file: overwriting in place syncs on some file systems
            write_file(name, file);
            audio_header h{};
            FILE* f = std::fopen(name.c_str(), "rb");
            const int status = read_audio_header(f, &h);
            std::fclose(f);
            EXPECT_NE(std::find(std::begin(valid), std::end(valid), status), std::end(valid)) << status;
            if (status != 0)
                continue;
            EXPECT_GE(h.data_offset, 0);
            EXPECT_LE(h.data_offset, static_cast<int32_t>(file.size()));
            EXPECT_LT(std::strlen(h.comment), sizeof h.comment);
            if (h.channels < 1 || h.channels > 64)
                continue;
            audio_file* af = open_audio_file(name.c_str(), "r", &h);
            ASSERT_NE(af, nullptr);
            while (read_audio_frame(frame.data(), af) == 0)
                ++decoded;
            close_audio_file(af);
        }
    }
    testing::internal::GetCapturedStderr();
    EXPECT_GT(decoded, 0);
}

}  // namespace
