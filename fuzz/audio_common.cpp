#include "audio_common.h"

#include "formats.h"
#include "fuzz_support.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <new>

audio_file* handle_for_stream(FILE* stream, audio_header* header, int mode)
{
    std::unique_ptr<audio_file> file(new audio_file{});
    file->stream = stream;
    file->header = header;
    file->mode = mode;
    if (mode == AUDIO_MODE_WRITE) {
        write_audio_header(stream, header);
    } else if (read_audio_header(stream, header) != 0) {
        std::fclose(stream);
        return nullptr;
    } else {
        file->data_left = stated_data_size;  // as open_audio_file sets it
    }
    file->buffer.reset(new unsigned char[AUDIO_BUFFER_SIZE]);
    return file.release();
}

namespace {

constexpr std::array<int, 6> block_sizes{1, 2, 7, 64, 1000, 4096};
// Bounds the harness's frame array for headers with absurd channel counts.
constexpr int64_t MAX_BLOCK_SAMPLES = 1 << 16;

}  // namespace

int64_t drain_frames(audio_file* file, std::vector<double>& samples)
{
    const int channels = file->header->channels;
    if (channels < 1 || channels > AUDIO_BUFFER_SIZE) {
        // No frame fits the handle's buffer (not even of 8-bit samples), so
        // nothing may be decoded: one slot is enough to catch a write.
        double slot = 0;
        int got = -1;
        FUZZ_CHECK(read_audio_frames(&slot, 1, &got, file) == -1);
        FUZZ_CHECK(got == 0);
        return 0;
    }
    const int largest = static_cast<int>(
        std::clamp<int64_t>(MAX_BLOCK_SAMPLES / channels, 1, block_sizes.back()));
    // Sized exactly, so that AddressSanitizer sees a decode past the end.
    std::unique_ptr<double[]> block(new double[static_cast<size_t>(largest) * static_cast<size_t>(channels)]);
    int64_t frames = 0;
    for (size_t turn = 0;; ++turn) {
        const int max = std::min(block_sizes[turn % block_sizes.size()], largest);
        int got = -1;
        const int status = read_audio_frames(block.get(), max, &got, file);
        if (status == -1) {
            FUZZ_CHECK(got == 0);
            return frames;
        }
        FUZZ_CHECK(status == 0);
        FUZZ_CHECK(got >= 1 && got <= max);
        samples.insert(samples.end(), block.get(), block.get() + int64_t{got} * channels);
        frames += got;
    }
}

bool same_samples(const double* a, const double* b, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        if (!(a[i] == b[i] || (std::isnan(a[i]) && std::isnan(b[i]))))
            return false;
    return true;
}

void check_data_offset(FILE* stream, const audio_header& header)
{
    FUZZ_CHECK(header.data_offset >= 0);
    FUZZ_CHECK(ftello(stream) == header.data_offset);
}

void check_seek(audio_file* file, int frames, const std::vector<double>& all, int channels)
{
    FUZZ_CHECK(seek_audio_file(file, frames, SEEK_SET) == 0);
    std::vector<double> rest;
    drain_frames(file, rest);
    const size_t skipped = std::min(all.size(), static_cast<size_t>(frames) * static_cast<size_t>(channels));
    FUZZ_CHECK(rest.size() == all.size() - skipped);
    FUZZ_CHECK(same_samples(rest.data(), all.data() + skipped, rest.size()));
}

bool round_trip_expected(const audio_header& header)
{
    // 16-bit channel fields (WAVE, AIFF) and ILS's byte hold no more.
    return header.channels >= 1 && header.channels <= 128;
}

void check_round_trip(const audio_header& written, const std::vector<double>& samples, const audio_header& read,
                      const std::vector<double>& samples_back)
{
    FUZZ_CHECK(read.type == written.type);
    FUZZ_CHECK(read.sfreq == written.sfreq);
    const bool spw = written.type == AUDIO_SPW || written.type == AUDIO_SPW_D;
    FUZZ_CHECK(read.channels == (spw ? 1 : written.channels));
    FUZZ_CHECK(samples_back.size() == samples.size());
    FUZZ_CHECK(same_samples(samples_back.data(), samples.data(), samples.size()));
}
