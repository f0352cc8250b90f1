// WAVE: RIFF files of integer PCM samples, little-endian.
#include "byteorder.h"
#include "formats.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <string>

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

// Format tags that files from other programs carry, named in the refusal.
struct format_tag_name {
    uint16_t tag;
    const char* name;
};
constexpr std::array<format_tag_name, 6> format_tag_names{{
    {0x0002, "MS ADPCM"},
    {0x0003, "IEEE float"},
    {0x0006, "A-law"},
    {0x0007, "u-law"},
    {0x0011, "IMA ADPCM"},
    {0x0055, "MPEG Layer III"},
}};

// " (IEEE float)" for a tag with a name, nothing for the others.
std::string tag_label(uint16_t tag)
{
    for (const format_tag_name& known : format_tag_names)
        if (known.tag == tag)
            return std::string(" (") + known.name + ")";
    return {};
}

int broken(const char* what)
{
    std::fprintf(stderr, "wave: %s\n", what);
    return WAVE_BROKEN;
}

struct wave_format {
    bool seen = false;
    uint16_t tag = 0;         // the fmt chunk's format tag
    uint16_t sub_format = 0;  // EXTENSIBLE: the format its sub-format GUID stands for
    bool short_extensible = false;  // EXTENSIBLE without the fields that name its sub-format
    int16_t channels = 0;
    uint32_t sfreq = 0;
    uint16_t block_align = 0;
    int16_t bits = 0;
};

// Reads a fmt chunk of the given size; the stream stands after its header.
// Returns the bytes consumed (16 at least), or 0 when the stream ends inside.
uint64_t read_fmt_chunk(FILE* stream, uint32_t size, wave_format& format)
{
    std::array<unsigned char, 16> fmt{};
    if (!read_exact(stream, fmt.data(), fmt.size()))
        return 0;
    uint64_t consumed = fmt.size();
    format = wave_format{};
    format.seen = true;
    format.tag = load_le16(&fmt[0]);
    format.channels = static_cast<int16_t>(load_le16(&fmt[2]));
    format.sfreq = load_le32(&fmt[4]);
    format.block_align = load_le16(&fmt[12]);
    format.bits = static_cast<int16_t>(load_le16(&fmt[14]));
    if (format.tag == WAVE_FORMAT_EXTENSIBLE) {
        if (size >= 40) {
            // cbSize, valid bits, channel mask, then the sub-format GUID whose
            // first two bytes hold the format tag that it stands for.
            std::array<unsigned char, 24> extension{};
            if (!read_exact(stream, extension.data(), extension.size()))
                return 0;
            consumed += extension.size();
            format.sub_format = load_le16(&extension[8]);
        } else {
            format.short_extensible = true;
        }
    }
    if (size > consumed) {
        if (skip_bytes(stream, size - consumed) != 0)
            return 0;
        consumed = size;
    }
    return consumed;
}

// The type of integer PCM samples of the given width.  Widths that are no
// whole bytes are stored left-justified in the container the block alignment
// gives, and read as that container.  -1 for anything else.
int wave_type_for(const wave_format& format)
{
    int bits = format.bits;
    if (bits > 0 && bits < 32 && bits % 8 != 0) {
        const int channels = format.channels;
        if (channels < 1 || format.block_align % channels != 0)
            return -1;
        const int container = format.block_align / channels;
        if (container < (bits + 7) / 8 || container > 4)
            return -1;
        bits = 8 * container;
    }
    switch (bits) {
    case 8: return AUDIO_WAVE_8;
    case 16: return AUDIO_WAVE_16;
    case 24: return AUDIO_WAVE_24;
    case 32: return AUDIO_WAVE_32;
    default: return -1;
    }
}

// Says why a fmt chunk of samples that are no integer PCM is refused.
int refuse_format(const wave_format& format)
{
    if (format.short_extensible)
        return broken("extensible fmt chunk without its sub-format");
    if (format.tag == WAVE_FORMAT_EXTENSIBLE)
        std::fprintf(stderr, "wave format tag: 0xFFFE (extensible), sub-format 0x%04X%s not supported\n",
                     format.sub_format, tag_label(format.sub_format).c_str());
    else
        std::fprintf(stderr, "wave format tag: 0x%04X%s not supported\n", format.tag, tag_label(format.tag).c_str());
    return WAVE_BROKEN;
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
    bool after_odd = false;
    for (;;) {
        std::array<unsigned char, 8> chunk{};
        if (!read_chunk_header(stream, after_odd, chunk.data(), position))
            return broken("file ends before the data chunk");
        const uint32_t size = load_le32(&chunk[4]);
        const int id = get_chunk_type(chunk.data());
        if (id < 0 && !printable_chunk_id(chunk.data())) {
            std::fprintf(stderr, "get_chunk_type: %s not recognized\n", chunk_text(chunk.data()).text);
            return WAVE_BROKEN;
        }
        if (id == DATA_CHUNK) {
            data_size = size;
            break;
        }
        if (id == FMT_CHUNK) {
            // Samples behind a chunk this long begin beyond what the record
            // can hold; say so before reading gigabytes to find out.
            if (position + size > static_cast<uint64_t>(INT32_MAX))
                return broken("samples begin beyond 2 GiB");
            const uint64_t consumed = read_fmt_chunk(stream, size, format);
            if (consumed == 0)
                return broken("file ends inside the fmt chunk");
            position += consumed;
            after_odd = consumed % 2 != 0;
            continue;
        }
        // Every other chunk (fact, LIST, bext, JUNK, PAD , ...) is passed over.
        switch (skip_chunk(stream, position, size)) {
        case CHUNK_SKIPPED: break;
        case CHUNK_PAST_END: return broken("file ends before the data chunk");
        case CHUNK_BEYOND_OFFSETS: return broken("samples begin beyond 2 GiB");
        }
        after_odd = size % 2 != 0;
    }
    if (!format.seen)
        return broken("data chunk before fmt chunk");
    const bool pcm = format.tag == WAVE_FORMAT_PCM || (format.tag == WAVE_FORMAT_EXTENSIBLE && format.sub_format == WAVE_FORMAT_PCM);
    if (!pcm)
        return refuse_format(format);
    const int type = wave_type_for(format);
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
