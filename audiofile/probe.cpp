// Rules the format readers share: the probe record, the chunk identifier
// table, skipping, the frame-count fallbacks and the reader defaults.
#include "formats.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

unsigned char probe_bytes[PROBE_SIZE];
int probe_fill = 0;

namespace {

// One table for every format; the index is the chunk_id enumerator.
constexpr std::array<const char*, CHUNK_ID_COUNT> chunk_ids{
    "FORM", "FVER", "COMM", "SAXL", "COMT", "MARK", "SSND", "CSND", "NAME", "AUTH", "(c) ", "ANNO",
    "INST", "MIDI", "AESD", "APPL", "RIFF", "WAVE", "fmt ", "data", ".snd", "fact", "cue ", "plst",
};

}  // namespace

size_t probe_read(FILE* stream, unsigned char* dst, size_t n)
{
    const size_t got = std::fread(dst, 1, n, stream);
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
        const size_t got = std::fread(scratch, 1, step, stream);
        n -= got;
        if (got < step)
            return -1;
    }
    return 0;
}

bool read_exact(FILE* stream, void* dst, size_t n)
{
    return std::fread(dst, 1, n, stream) == n;
}

int32_t frames_from_data_size(uint64_t size, int bits, int32_t channels)
{
    if (bits <= 0 || channels <= 0)
        return 0;
    return saturate_count(size * 8 / (static_cast<uint64_t>(bits) * static_cast<uint64_t>(channels)));
}

int32_t frames_from_file_size(FILE* stream, const audio_header* header)
{
    const int bytes = get_type_bits(header->type) / 8;
    if (header->channels < 1 || bytes < 1)
        return 0;
    // A pipe or terminal has no size to go by: count it as the largest file
    // that 32-bit headers can describe, so that readers read on to the end.
    uint64_t size = UINT32_MAX;
    struct stat status {};
    if (fstat(fileno(stream), &status) == 0 && S_ISREG(status.st_mode))
        size = static_cast<uint64_t>(status.st_size);
    const auto offset = static_cast<uint64_t>(std::max(header->data_offset, 0));
    if (size <= offset)
        return 0;
    return saturate_count((size - offset) / static_cast<uint64_t>(bytes) / static_cast<uint64_t>(header->channels));
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
