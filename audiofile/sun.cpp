// SUN audio (.snd): six big-endian 32-bit header words, then the samples.
#include "byteorder.h"
#include "formats.h"

#include <array>
#include <cinttypes>
#include <climits>
#include <cstring>

namespace {

constexpr uint32_t SUN_HEADER_SIZE = 24;
// The size word's "not known" value, written when the data do not fit it.
constexpr uint32_t SUN_UNKNOWN_SIZE = 0xFFFFFFFFu;

struct sun_encoding {
    int type;
    uint32_t encoding;
    int bytes;
};

// Linear PCM of 8 to 32 bits, IEEE float and double; mu-law (1) and the
// other published encodings have no codec here.
constexpr std::array<sun_encoding, 6> sun_encodings{{
    {AUDIO_SUN_8, 2, 1},
    {AUDIO_SUN_16, 3, 2},
    {AUDIO_SUN_24, 4, 3},
    {AUDIO_SUN_32, 5, 4},
    {AUDIO_SUN_F, 6, 4},
    {AUDIO_SUN_D, 7, 8},
}};

// The family code and anything unexpected are written as 16-bit, the
// samples the frame functions would store for the family's default name.
const sun_encoding& encoding_for_type(int type)
{
    for (const auto& e : sun_encodings)
        if (e.type == type)
            return e;
    return sun_encodings[1];
}

const sun_encoding* encoding_for_code(uint32_t code)
{
    for (const auto& e : sun_encodings)
        if (e.encoding == code)
            return &e;
    return nullptr;
}

int broken(const char* what)
{
    std::fprintf(stderr, "sun: %s\n", what);
    return SUN_BROKEN;
}

}  // namespace

int read_sun_header(FILE* stream, audio_header* header)
{
    std::array<unsigned char, 4> magic{};
    // The bytes go to the probe record whatever they are: the next readers
    // take them as the start of the file.
    if (probe_read(stream, magic.data(), magic.size()) < magic.size())
        return SUN_NOT_MINE;
    if (get_chunk_type(magic.data()) != SND_CHUNK)
        return SUN_NOT_MINE;

    std::array<unsigned char, 20> words{};
    if (!read_exact(stream, words.data(), words.size()))
        return broken("file ends inside the header");
    const uint32_t offset = load_be32(&words[0]);
    const uint32_t size = load_be32(&words[4]);
    const uint32_t code = load_be32(&words[8]);
    const uint32_t rate = load_be32(&words[12]);
    const uint32_t channels = load_be32(&words[16]);

    const sun_encoding* encoding = encoding_for_code(code);
    if (encoding == nullptr) {
        std::fprintf(stderr, "sun format: %" PRIu32 " not supported\n", code);
        return SUN_BROKEN;
    }
    // A data offset below the header length is no error: the samples then
    // follow the 24 header bytes.
    uint64_t position = SUN_HEADER_SIZE;
    if (offset > SUN_HEADER_SIZE) {
        if (offset > static_cast<uint32_t>(INT32_MAX))
            return broken("samples begin beyond 2 GiB");
        if (skip_bytes(stream, offset - SUN_HEADER_SIZE) != 0)
            return broken("file ends inside the annotation");
        position = offset;
    }

    header->type = encoding->type;
    header->data_offset = static_cast<int32_t>(position);
    header->channels = static_cast<int32_t>(channels);
    header->sfreq = static_cast<int32_t>(rate);
    take_data_size(stream, header, size_unstated(size) ? -1 : int64_t{size});
    set_reader_defaults(header);
    return 0;
}

int write_sun_header(FILE* stream, const audio_header* header)
{
    const sun_encoding& encoding = encoding_for_type(header->type);
    const auto channels = static_cast<uint32_t>(header->channels);
    const uint64_t size = data_bytes(header->frames, encoding.bytes, header->channels);

    std::array<unsigned char, SUN_HEADER_SIZE> out{};
    std::memcpy(&out[0], ".snd", 4);
    store_be32(&out[4], SUN_HEADER_SIZE);
    store_be32(&out[8], size > UINT32_MAX ? SUN_UNKNOWN_SIZE : static_cast<uint32_t>(size));
    store_be32(&out[12], encoding.encoding);
    store_be32(&out[16], static_cast<uint32_t>(header->sfreq));
    store_be32(&out[20], channels);
    std::fwrite(out.data(), 1, out.size(), stream);
    return 0;
}
