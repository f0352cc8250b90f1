// Rules the format readers share: the probe record, the chunk identifier
// table, skipping, the frame-count fallbacks and the reader defaults.
#include "formats.h"

#include <poll.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>

unsigned char probe_bytes[PROBE_SIZE];
int probe_fill = 0;
int64_t stated_data_size = -1;

namespace {

// One table for every format; the index is the chunk_id enumerator.
constexpr std::array<const char*, CHUNK_ID_COUNT> chunk_ids{
    "FORM", "FVER", "COMM", "SAXL", "COMT", "MARK", "SSND", "CSND", "NAME", "AUTH", "(c) ", "ANNO",
    "INST", "MIDI", "AESD", "APPL", "RIFF", "WAVE", "fmt ", "data", ".snd", "fact", "cue ", "plst",
};

}  // namespace

namespace {

// After a read came back short: whether it only has to be tried again.  A
// signal interrupted it, or a non-blocking stream had nothing yet, in which
// case this waits until it has.  The stream's error is cleared then.
bool read_again(FILE* stream)
{
    if (std::ferror(stream) == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK))
        return false;
    const bool wait = errno != EINTR;
    std::clearerr(stream);
    if (wait) {
        pollfd ready{fileno(stream), POLLIN, 0};
        while (poll(&ready, 1, -1) < 0 && errno == EINTR) {
        }
    }
    return true;
}

}  // namespace

size_t read_audio_bytes(FILE* stream, void* dst, size_t n)
{
    auto* bytes = static_cast<unsigned char*>(dst);
    size_t got = std::fread(bytes, 1, n, stream);
    while (got < n && read_again(stream))
        got += std::fread(bytes + got, 1, n - got, stream);
    return got;
}

int read_audio_byte(FILE* stream)
{
    int c = std::getc(stream);
    while (c == EOF && read_again(stream))
        c = std::getc(stream);
    return c;
}

size_t probe_read(FILE* stream, unsigned char* dst, size_t n)
{
    const size_t got = read_audio_bytes(stream, dst, n);
    const int fill = std::clamp(probe_fill, 0, PROBE_SIZE);
    const size_t kept = std::min(got, static_cast<size_t>(PROBE_SIZE - fill));
    std::memcpy(probe_bytes + fill, dst, kept);
    probe_fill = fill + static_cast<int>(kept);
    return got;
}

int get_chunk_type(const unsigned char* id)
{
    for (size_t i = 0; i < chunk_ids.size(); ++i)
        if (std::memcmp(id, chunk_ids[i], 4) == 0)
            return static_cast<int>(i);
    return -1;
}

chunk_name chunk_text(const unsigned char* id)
{
    chunk_name name{};
    std::memcpy(name.text, id, 4);
    return name;
}

int skip_bytes(FILE* stream, uint64_t n)
{
    unsigned char scratch[4096];
    while (n > 0) {
        const size_t step = static_cast<size_t>(std::min<uint64_t>(n, sizeof scratch));
        const size_t got = read_audio_bytes(stream, scratch, step);
        n -= got;
        if (got < step)
            return -1;
    }
    return 0;
}

bool printable_chunk_id(const unsigned char* id)
{
    return std::all_of(id, id + 4, [](unsigned char c) { return c >= 0x20 && c <= 0x7E; });
}

bool read_chunk_header(FILE* stream, bool after_odd, unsigned char* header, uint64_t& position)
{
    if (!read_exact(stream, header, 8))
        return false;
    position += 8;
    if (after_odd && (header[0] < 0x20 || header[0] > 0x7E)) {
        std::memmove(header, header + 1, 7);
        if (!read_exact(stream, header + 7, 1))
            return false;
        position += 1;
    }
    return true;
}

chunk_skip skip_chunk(FILE* stream, uint64_t& position, uint64_t n)
{
    if (position + n > static_cast<uint64_t>(INT32_MAX))
        return CHUNK_BEYOND_OFFSETS;
    if (skip_bytes(stream, n) != 0)
        return CHUNK_PAST_END;
    position += n;
    return CHUNK_SKIPPED;
}

bool read_exact(FILE* stream, void* dst, size_t n)
{
    return read_audio_bytes(stream, dst, n) == n;
}

uint64_t data_bytes(int64_t frames, int bytes, int64_t channels)
{
    if (frames <= 0 || bytes <= 0 || channels <= 0)
        return 0;
    uint64_t product = 0;
    if (__builtin_mul_overflow(static_cast<uint64_t>(frames), static_cast<uint64_t>(bytes), &product) ||
        __builtin_mul_overflow(product, static_cast<uint64_t>(channels), &product))
        return UINT64_MAX;
    return product;
}

int64_t frames_from_file_size(FILE* stream, const audio_header* header)
{
    const int bytes = get_type_bits(header->type) / 8;
    if (header->channels < 1 || bytes < 1)
        return 0;
    // A pipe or terminal has no size to go by: it counts as the largest file
    // there can be, so that every program reads it to its end.
    uint64_t size = INT64_MAX;
    struct stat status {};
    if (fstat(fileno(stream), &status) == 0 && S_ISREG(status.st_mode))
        size = static_cast<uint64_t>(status.st_size);
    const auto offset = static_cast<uint64_t>(std::max(header->data_offset, 0));
    if (size <= offset)
        return 0;
    return static_cast<int64_t>((size - offset) / static_cast<uint64_t>(bytes) / static_cast<uint64_t>(header->channels));
}

void take_frame_count(FILE* stream, audio_header* header, int64_t stated)
{
    const uint64_t bytes = data_bytes(stated, get_type_bits(header->type) / 8, header->channels);
    if (stated > 0 && bytes > 0 && bytes <= static_cast<uint64_t>(INT64_MAX)) {
        header->frames = stated;
        stated_data_size = static_cast<int64_t>(bytes);
        return;
    }
    header->frames = stated > 0 ? stated : frames_from_file_size(stream, header);
    stated_data_size = -1;
}

void take_data_size(FILE* stream, audio_header* header, int64_t bytes)
{
    const int64_t frame_bytes = int64_t{header->channels} * (get_type_bits(header->type) / 8);
    header->frames = bytes > 0 && frame_bytes > 0 ? bytes / frame_bytes : 0;
    // Readers of words rather than frames (burstpick) read a partial last
    // frame too.
    stated_data_size = header->frames > 0 ? bytes : -1;
    if (header->frames == 0)
        header->frames = frames_from_file_size(stream, header);
}

void set_reader_defaults(audio_header* header)
{
    header->ils_blocks = 0;
    header->ils_value35 = 0;
    header->ils_value37 = 0;
    header->ils_marker = ILS_MARKER_16;
    header->ils_word63 = 32149;
    header->ils_word64 = 123456;
    header->ils_byte65 = 0;
    header->ils_half65 = 0;
}
