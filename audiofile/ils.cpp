// ILS files: a 512-byte header of 128 32-bit words, then the samples.  The
// header has no magic number at its start: word 62 holds a sample-type
// marker, so the ILS reader comes last in the probe order.
#include "byteorder.h"
#include "double_precision.h"
#include "formats.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <string_view>

namespace {

constexpr int ILS_WORDS = 128;
constexpr int ILS_HEADER_SIZE = 4 * ILS_WORDS;
constexpr int ILS_MAX_POWER = 10;  // larger powers of ten read as 0
// Below this power every product lies within (-0.22, 0.22) and rounds to 0.
constexpr int ILS_MIN_POWER = -9;
// The powers of ten as the compiler rounds them to double, the same on
// every machine, whatever its pow gives.
constexpr std::array<double, ILS_MAX_POWER - ILS_MIN_POWER + 1> powers_of_ten{
    1e-9, 1e-8, 1e-7, 1e-6, 1e-5, 1e-4, 1e-3, 1e-2, 1e-1, 1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10};

enum ils_word : int {
    W_MAGIC = 4,
    W_BLOCKS = 5,
    W_BLOCK_FRAMES = 11,
    W_VALUE35 = 35,
    W_POWER35 = 36,
    W_VALUE37 = 37,
    W_POWER37 = 38,
    W_FRAMES = 54,
    W_SFREQ_POWER = 60,
    W_SFREQ = 61,
    W_MARKER = 62,
    W_WORD63 = 63,
    W_WORD64 = 64,
    W_CHANNELS = 65,
};
constexpr int32_t ILS_MAGIC_WORD4 = 89;

struct ils_kind {
    int type;
    int32_t marker;
    int bytes;
};

constexpr std::array<ils_kind, 3> ils_kinds{{
    {AUDIO_ILS, ILS_MARKER_16, 2},
    {AUDIO_ILS_F, ILS_MARKER_FLOAT, 4},
    {AUDIO_ILS_D, ILS_MARKER_DOUBLE, 8},
}};

const ils_kind& kind_for_type(int type)
{
    for (const auto& k : ils_kinds)
        if (k.type == type)
            return k;
    return ils_kinds[0];
}

// value x 10^power rounded half up, saturating at the limits of int32; 0
// when the power is beyond ILS_MAX_POWER.  The product and the sum are each
// rounded once to double: fma rounds the product once where the x87 unit
// would round it twice (to 64 bits, then to 53).
int32_t scaled_value(int32_t value, int32_t power)
{
    if (power > ILS_MAX_POWER || power < ILS_MIN_POWER)
        return 0;
    const double product = std::fma(static_cast<double>(value), powers_of_ten[static_cast<size_t>(power - ILS_MIN_POWER)], 0.0);
    const double x = std::floor(in_double(product + 0.5));
    if (x >= 2147483647.0)
        return INT32_MAX;
    if (x <= -2147483648.0)
        return INT32_MIN;
    return static_cast<int32_t>(x);
}

// Whole 512-byte blocks of frames frames of frame_bytes bytes, truncated
// toward zero, saturating at the limits of int32 (the product may exceed
// 64 bits).
int32_t block_count(int64_t frame_bytes, int64_t frames)
{
    const double estimate = static_cast<double>(frame_bytes) * static_cast<double>(frames);
    if (estimate >= 0x1p52)
        return INT32_MAX;
    if (estimate <= -0x1p52)
        return INT32_MIN;
    return saturate_i32(frame_bytes * frames / 512);
}

// Whether a reader before this one read the stream beyond the bytes it
// recorded and then declined the file: the SPW reader reads the rest of a
// first line that holds "$SIG", the AIFF reader the chunks after "FORM" and
// an AIFF or AIFC form type.  The header image can no longer be put
// together then (and the samples would not start where it says), so such a
// file is no ILS file.
bool probe_passed_over(std::string_view probe)
{
    if (probe.find("$SIG") != std::string_view::npos && probe.find('\n') == std::string_view::npos)
        return true;
    return probe.size() >= 12 && probe.substr(0, 4) == "FORM" &&
           (probe.substr(8, 4) == "AIFF" || probe.substr(8, 4) == "AIFC");
}

}  // namespace

int read_ils_header(FILE* stream, audio_header* header)
{
    // The header image: the bytes the other readers consumed, then whole
    // words from the stream.  A stream that ends first is not an ILS file.
    std::array<unsigned char, ILS_HEADER_SIZE> image{};
    const int recorded = std::clamp(probe_fill, 0, PROBE_SIZE);
    if (probe_passed_over({reinterpret_cast<const char*>(probe_bytes), static_cast<size_t>(recorded)}))
        return NOT_RECOGNISED;
    std::memcpy(image.data(), probe_bytes, static_cast<size_t>(recorded));
    const size_t start = static_cast<size_t>(recorded / 4 * 4);
    if (!read_exact(stream, image.data() + start, image.size() - start))
        return NOT_RECOGNISED;

    const auto marker = static_cast<int32_t>(load_le32(&image[4 * W_MARKER]));
    const ils_kind* kind = nullptr;
    bool big_endian = false;
    for (const auto& k : ils_kinds) {
        if (static_cast<int32_t>(swap32(static_cast<uint32_t>(marker))) == k.marker) {
            kind = &k;
            big_endian = true;
        }
    }
    for (const auto& k : ils_kinds)
        if (kind == nullptr && marker == k.marker)
            kind = &k;
    if (kind == nullptr)
        return NOT_RECOGNISED;

    std::array<int32_t, ILS_WORDS> word{};
    for (int i = 0; i < ILS_WORDS; ++i)
        word[i] = static_cast<int32_t>(big_endian ? load_be32(&image[4 * i]) : load_le32(&image[4 * i]));

    audio_header result = *header;
    result.type = kind->type;
    result.ils_marker = marker;
    result.ils_blocks = word[W_BLOCKS];
    result.ils_value35 = scaled_value(word[W_VALUE35], word[W_POWER35]);
    result.ils_value37 = scaled_value(word[W_VALUE37], word[W_POWER37]);
    result.sfreq = scaled_value(word[W_SFREQ], word[W_SFREQ_POWER]);
    result.ils_word63 = word[W_WORD63];
    result.ils_word64 = word[W_WORD64];
    const auto packed = static_cast<uint32_t>(word[W_CHANNELS]);
    result.channels = static_cast<int8_t>(packed & 0xFF) + 1;
    result.ils_byte65 = static_cast<int8_t>(packed >> 8 & 0xFF);
    result.ils_half65 = static_cast<int16_t>(packed >> 16);
    result.data_offset = ILS_HEADER_SIZE;
    take_frame_count(stream, &result, word[W_FRAMES]);
    result.comment[0] = '\0';
    *header = result;
    return 0;
}

int write_ils_header(FILE* stream, const audio_header* header)
{
    const ils_kind& kind = kind_for_type(header->type);
    const int64_t frame_bytes = int64_t{kind.bytes} * header->channels;

    std::array<int32_t, ILS_WORDS> word{};
    word[W_MAGIC] = ILS_MAGIC_WORD4;
    word[W_BLOCKS] = block_count(frame_bytes, header->frames);
    // No channels, no frames per block (rather than a division by zero).
    word[W_BLOCK_FRAMES] = frame_bytes > 0 ? saturate_i32(512 / frame_bytes) : 0;
    word[W_VALUE35] = header->ils_value35;
    word[W_VALUE37] = header->ils_value37;
    // A count beyond the word is written as all ones, which readers take
    // as "count the data".
    word[W_FRAMES] = header->frames > INT32_MAX ? -1 : static_cast<int32_t>(std::max<int64_t>(header->frames, INT32_MIN));
    word[W_SFREQ] = header->sfreq;
    word[W_MARKER] = kind.marker;
    word[W_WORD63] = header->ils_word63;
    word[W_WORD64] = header->ils_word64;
    word[W_CHANNELS] = static_cast<int32_t>(((static_cast<uint32_t>(header->channels) - 1u) & 0xFFu) |
                                            (static_cast<uint32_t>(header->ils_byte65) & 0xFFu) << 8 |
                                            (static_cast<uint32_t>(header->ils_half65) & 0xFFFFu) << 16);

    std::array<unsigned char, ILS_HEADER_SIZE> out{};
    for (int i = 0; i < ILS_WORDS; ++i)
        store_le32(&out[4 * i], static_cast<uint32_t>(word[i]));
    std::fwrite(out.data(), 1, out.size(), stream);
    return 0;
}
