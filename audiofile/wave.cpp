// WAVE: RIFF files of integer PCM samples, little-endian.
#include "byteorder.h"
#include "formats.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

namespace {

constexpr int WAVE_HEADER_SIZE = 44;
constexpr uint16_t WAVE_FORMAT_PCM = 1;
constexpr uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

// Bytes per sample by type, 16-bit for the bare family code.
int wave_sample_bytes(int type)
{
    switch (type) {
    case AUDIO_WAVE_8: return 1;
    case AUDIO_WAVE_24: return 3;
    case AUDIO_WAVE_32: return 4;
    default: return 2;
    }
}

int wave_type_for_bits(int bits)
{
    switch (bits) {
    case 8: return AUDIO_WAVE_8;
    case 16: return AUDIO_WAVE_16;
    case 24: return AUDIO_WAVE_24;
    case 32: return AUDIO_WAVE_32;
    default: return -1;
    }
}

int broken(const char* what)
{
    std::fprintf(stderr, "wave: %s\n", what);
    return WAVE_BROKEN;
}

struct wave_format {
    bool seen = false;
    int16_t channels = 0;
    uint32_t sfreq = 0;
    int16_t bits = 0;  // 0 for samples that are not integer PCM
};

// Reads a fmt chunk of the given size; the stream stands after its header.
// Returns false when the stream ends inside it.
bool read_fmt_chunk(FILE* stream, uint32_t size, wave_format& format)
{
    std::array<unsigned char, 16> fmt{};
    if (!read_exact(stream, fmt.data(), fmt.size()))
        return false;
    uint64_t consumed = fmt.size();
    uint16_t tag = load_le16(&fmt[0]);
    if (tag == WAVE_FORMAT_EXTENSIBLE && size >= 40) {
        // cbSize, valid bits, channel mask, then the sub-format GUID whose
        // first two bytes hold the format tag that it stands for.
        std::array<unsigned char, 24> extension{};
        if (!read_exact(stream, extension.data(), extension.size()))
            return false;
        consumed += extension.size();
        tag = load_le16(&extension[8]);
    }
    format.seen = true;
    if (tag == WAVE_FORMAT_PCM) {
        format.channels = static_cast<int16_t>(load_le16(&fmt[2]));
        format.sfreq = load_le32(&fmt[4]);
        format.bits = static_cast<int16_t>(load_le16(&fmt[14]));
    } else {
        format.bits = 0;
    }
    return size <= consumed || skip_bytes(stream, size - consumed) == 0;
}

}  // namespace

int read_wave_header(FILE* stream, audio_header* header)
{
    if (probe_fill < 4 || get_chunk_type(probe_bytes) != RIFF_CHUNK)
        return WAVE_NOT_MINE;
    uint64_t position = static_cast<uint64_t>(probe_fill);

    std::array<unsigned char, 8> riff{};
    if (!read_exact(stream, riff.data(), riff.size()))
        return broken("file ends inside the RIFF header");
    position += riff.size();
    if (get_chunk_type(&riff[4]) != WAVE_CHUNK) {
        std::fprintf(stderr, "get_chunk_type: %s != WAVE_CHUNK\n", chunk_text(&riff[4]).text);
        return WAVE_BROKEN;
    }

    wave_format format;
    uint32_t data_size = 0;
    for (;;) {
        std::array<unsigned char, 8> chunk{};
        if (!read_exact(stream, chunk.data(), chunk.size()))
            return broken("file ends before the data chunk");
        position += chunk.size();
        const uint32_t size = load_le32(&chunk[4]);
        const int id = get_chunk_type(chunk.data());
        // Samples behind a chunk this long begin beyond what the record can
        // hold; say so before reading gigabytes to find out.
        if (id >= 0 && id != DATA_CHUNK && position + size > static_cast<uint64_t>(INT32_MAX))
            return broken("samples begin beyond 2 GiB");
        if (id < 0) {
            std::fprintf(stderr, "get_chunk_type: %s not recognized\n", chunk_text(chunk.data()).text);
            return WAVE_BROKEN;
        }
        if (id == DATA_CHUNK) {
            data_size = size;
            break;
        }
        if (id == FMT_CHUNK) {
            if (!read_fmt_chunk(stream, size, format))
                return broken("file ends inside the fmt chunk");
            position += size < 16 ? 16 : size;
        } else {
            if (skip_bytes(stream, size) != 0)
                return broken("file ends before the data chunk");
            position += size;
        }
    }
    if (!format.seen)
        return broken("data chunk before fmt chunk");
    const int type = wave_type_for_bits(format.bits);
    if (type < 0) {
        std::fprintf(stderr, "wave format samplesize: %d not supported\n", format.bits);
        return WAVE_BROKEN;
    }
    if (position > static_cast<uint64_t>(INT32_MAX))
        return broken("samples begin beyond 2 GiB");

    header->type = type;
    header->comment[0] = '\0';
    header->data_offset = static_cast<int32_t>(position);
    header->sfreq = static_cast<int32_t>(format.sfreq);
    header->channels = format.channels;
    take_data_size(stream, header, size_unstated(data_size) ? -1 : int64_t{data_size});
    set_reader_defaults(header);
    return 0;
}

int write_wave_header(FILE* stream, const audio_header* header)
{
    const uint64_t bytes = static_cast<uint64_t>(wave_sample_bytes(header->type));
    const auto channels = static_cast<uint32_t>(header->channels);
    // Sizes are 32-bit fields formed wide; a size beyond them says "to the
    // end of the file" rather than a wrapped, wrong length.
    const uint64_t data = data_bytes(header->frames, static_cast<int>(bytes), header->channels);
    const uint32_t data_size = saturate_u32(data);
    const auto byte_rate = static_cast<uint32_t>(static_cast<uint64_t>(static_cast<uint32_t>(header->sfreq)) * bytes * channels);

    std::array<unsigned char, WAVE_HEADER_SIZE> out{};
    std::memcpy(&out[0], "RIFF", 4);
    store_le32(&out[4], saturate_u32(std::min<uint64_t>(data, UINT32_MAX) + 36));
    std::memcpy(&out[8], "WAVE", 4);
    std::memcpy(&out[12], "fmt ", 4);
    store_le32(&out[16], 16);
    store_le16(&out[20], WAVE_FORMAT_PCM);
    store_le16(&out[22], channels);
    store_le32(&out[24], static_cast<uint32_t>(header->sfreq));
    store_le32(&out[28], byte_rate);
    store_le16(&out[32], static_cast<uint32_t>(bytes * channels));
    store_le16(&out[34], static_cast<uint32_t>(8 * bytes));
    std::memcpy(&out[36], "data", 4);
    store_le32(&out[40], data_size);
    std::fwrite(out.data(), 1, out.size(), stream);
    return 0;
}
