// Frame I/O: samples move between the handle's 1 MiB buffer and frames of
// doubles.  The converter for a type is looked up once per call; the block
// loops below then run without any per-sample dispatch.
#include "audiofile.h"
#include "byteorder.h"
#include "codec.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

// floor(x + 0.5) for |x| < 2^62, without a library call: truncate, then step
// down where truncation went up (negative non-integers).
inline int64_t round_half_up(double x)
{
    const double t = x + 0.5;
    const auto i = static_cast<int64_t>(t);
    return i - (static_cast<double>(i) > t ? 1 : 0);
}

// Clip to [lo, hi] before rounding; a NaN counts as below the minimum.
template <int64_t lo, int64_t hi>
inline int64_t clip_round(double x)
{
    if (!(x >= static_cast<double>(lo)))
        return lo;
    if (x > static_cast<double>(hi))
        return hi;
    return round_half_up(x);
}

// 32-bit samples clip too (a NaN stores 0), so that full scale never wraps.
inline int64_t clip_round_32(double x)
{
    if (x != x)
        return 0;
    return clip_round<INT32_MIN, INT32_MAX>(x);
}

// --- decoders: buffer bytes to doubles -------------------------------------

void decode_s8(const unsigned char* in, double* out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<signed char>(in[i]);
}

void decode_u8(const unsigned char* in, double* out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<int>(in[i]) - 128;
}

void decode_s16be(const unsigned char* in, double* out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<int16_t>(load_be16(in + 2 * i));
}

void decode_s16le(const unsigned char* in, double* out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<int16_t>(load_le16(in + 2 * i));
}

void decode_s24be(const unsigned char* in, double* out, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        const unsigned char* p = in + 3 * i;
        const auto v = static_cast<int32_t>(uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8);
        out[i] = v >> 8;
    }
}

void decode_s24le(const unsigned char* in, double* out, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        const unsigned char* p = in + 3 * i;
        const auto v = static_cast<int32_t>(uint32_t{p[2]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[0]} << 8);
        out[i] = v >> 8;
    }
}

void decode_s32be(const unsigned char* in, double* out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<int32_t>(load_be32(in + 4 * i));
}

void decode_s32le(const unsigned char* in, double* out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<int32_t>(load_le32(in + 4 * i));
}

void decode_f32be(const unsigned char* in, double* out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        out[i] = std::bit_cast<float>(load_be32(in + 4 * i));
}

void decode_f32le(const unsigned char* in, double* out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        out[i] = std::bit_cast<float>(load_le32(in + 4 * i));
}

void decode_f64be(const unsigned char* in, double* out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        out[i] = std::bit_cast<double>(load_be64(in + 8 * i));
}

// --- encoders: doubles to buffer bytes --------------------------------------

void encode_s8(const double* in, unsigned char* out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<unsigned char>(clip_round<-128, 127>(in[i]));
}

void encode_u8(const double* in, unsigned char* out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<unsigned char>(clip_round<-128, 127>(in[i]) + 128);
}

void encode_s16be(const double* in, unsigned char* out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        store_be16(out + 2 * i, static_cast<uint32_t>(clip_round<-32768, 32767>(in[i])));
}

void encode_s16le(const double* in, unsigned char* out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        store_le16(out + 2 * i, static_cast<uint32_t>(clip_round<-32768, 32767>(in[i])));
}

void encode_s24be(const double* in, unsigned char* out, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        const auto v = static_cast<uint32_t>(clip_round<-8388608, 8388607>(in[i]));
        unsigned char* p = out + 3 * i;
        p[0] = static_cast<unsigned char>(v >> 16);
        p[1] = static_cast<unsigned char>(v >> 8);
        p[2] = static_cast<unsigned char>(v);
    }
}

void encode_s24le(const double* in, unsigned char* out, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        const auto v = static_cast<uint32_t>(clip_round<-8388608, 8388607>(in[i]));
        unsigned char* p = out + 3 * i;
        p[0] = static_cast<unsigned char>(v);
        p[1] = static_cast<unsigned char>(v >> 8);
        p[2] = static_cast<unsigned char>(v >> 16);
    }
}

void encode_s32be(const double* in, unsigned char* out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        store_be32(out + 4 * i, static_cast<uint32_t>(clip_round_32(in[i])));
}

void encode_s32le(const double* in, unsigned char* out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        store_le32(out + 4 * i, static_cast<uint32_t>(clip_round_32(in[i])));
}

void encode_f32be(const double* in, unsigned char* out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        store_be32(out + 4 * i, std::bit_cast<uint32_t>(static_cast<float>(in[i])));
}

void encode_f32le(const double* in, unsigned char* out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        store_le32(out + 4 * i, std::bit_cast<uint32_t>(static_cast<float>(in[i])));
}

void encode_f64be(const double* in, unsigned char* out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        store_be64(out + 8 * i, std::bit_cast<uint64_t>(in[i]));
}

constexpr sample_codec s8{1, decode_s8, encode_s8};
constexpr sample_codec u8{1, decode_u8, encode_u8};
constexpr sample_codec s16be{2, decode_s16be, encode_s16be};
constexpr sample_codec s16le{2, decode_s16le, encode_s16le};
constexpr sample_codec s24be{3, decode_s24be, encode_s24be};
constexpr sample_codec s24le{3, decode_s24le, encode_s24le};
constexpr sample_codec s32be{4, decode_s32be, encode_s32be};
constexpr sample_codec s32le{4, decode_s32le, encode_s32le};
constexpr sample_codec f32be{4, decode_f32be, encode_f32be};
constexpr sample_codec f32le{4, decode_f32le, encode_f32le};
constexpr sample_codec f64be{8, decode_f64be, encode_f64be};

// Codec by type code; null for the family codes, which have no samples.
// ILS 16-bit and float samples (codes 0 and 13) are listed little-endian,
// the order of the ILS header this library writes; sample_codec_for picks
// big-endian for files whose header was stored big-endian.
constexpr std::array<const sample_codec*, AUDIO_TYPE_COUNT> codecs{
    &s16le, nullptr, &s8,     &s16be,  &s24be,  &s32be,  nullptr, &s8,    &s16be, &s24be,
    &s32be, &s16be,  &f64be,  &f32le,  &f64be,  nullptr, &u8,     &s16le, &s24le, &s32le,
    nullptr, &s8,    &s16be,  &s24be,  &s32be,  &f32be,  &f64be,
};

// The marker as a big-endian ILS header reads when taken little-endian.
constexpr int32_t reversed(int32_t marker)
{
    const auto v = static_cast<uint32_t>(marker);
    return static_cast<int32_t>(v >> 24 | (v >> 8 & 0xFF00u) | (v << 8 & 0xFF0000u) | v << 24);
}

}  // namespace

const sample_codec* sample_codec_for(const audio_header* header, int mode)
{
    const auto code = static_cast<unsigned>(header->type);
    if (code >= codecs.size())
        return nullptr;
    if (mode == AUDIO_MODE_READ) {
        if (code == AUDIO_ILS && header->ils_marker == reversed(ILS_MARKER_16))
            return &s16be;
        if (code == AUDIO_ILS_F && header->ils_marker == reversed(ILS_MARKER_FLOAT))
            return &f32be;
    }
    return codecs[code];
}

int audio_sample_bytes(int type)
{
    const auto code = static_cast<unsigned>(type);
    return code < codecs.size() && codecs[code] != nullptr ? codecs[code]->bytes : 0;
}

double* alloc_frame_buffer(int channels)
{
    if (channels < 1)
        return nullptr;
    return static_cast<double*>(std::malloc(sizeof(double) * static_cast<size_t>(channels)));
}

int read_audio_frames(double* frames, int max, int* got, audio_file* file)
{
    *got = 0;
    if (file->mode == AUDIO_MODE_WRITE) {
        std::fprintf(stderr, "\nRead attempt at outputfile");
        return 82;
    }
    const audio_header* header = file->header;
    const sample_codec* codec = sample_codec_for(header, AUDIO_MODE_READ);
    if (codec == nullptr || header->channels < 1 || max < 1)
        return -1;
    const int64_t frame_bytes = int64_t{header->channels} * codec->bytes;

    if (file->buffer_index == 0) {
        if (frame_bytes > AUDIO_BUFFER_SIZE)
            return -1;
        const size_t wanted = AUDIO_BUFFER_SIZE - AUDIO_BUFFER_SIZE % frame_bytes;
        const size_t n = std::fread(file->buffer.get(), 1, wanted, file->stream);
        if (n < static_cast<size_t>(frame_bytes))
            return -1;  // end of data; an incomplete trailing frame is dropped
        file->buffer_frames = static_cast<int>(n / static_cast<size_t>(frame_bytes));
    }
    // A caller that changed channels or type while frames were buffered gets
    // no more than the buffer holds.
    const int64_t index = file->buffer_index;
    if (file->buffer_frames <= index || (index + 1) * frame_bytes > AUDIO_BUFFER_SIZE) {
        file->buffer_index = 0;
        return -1;
    }
    const int64_t fit = AUDIO_BUFFER_SIZE / frame_bytes - index;
    const int count = static_cast<int>(std::min<int64_t>({max, file->buffer_frames - index, fit}));
    codec->decode(file->buffer.get() + index * frame_bytes, frames,
                  static_cast<size_t>(count) * static_cast<size_t>(header->channels));
    file->buffer_index += count;
    if (file->buffer_index >= file->buffer_frames)
        file->buffer_index = 0;
    *got = count;
    return 0;
}

int read_audio_frame(double* frame, audio_file* file)
{
    int got = 0;
    return read_audio_frames(frame, 1, &got, file);
}

// Writes the frames waiting in a write handle's buffer; false when the
// stream took fewer bytes.
bool flush_audio_buffer(audio_file* file, int64_t frame_bytes)
{
    const int64_t bytes = std::min<int64_t>(int64_t{file->buffer_index} * frame_bytes, AUDIO_BUFFER_SIZE);
    file->buffer_index = 0;
    if (bytes <= 0)
        return true;
    const size_t written = std::fwrite(file->buffer.get(), 1, static_cast<size_t>(bytes), file->stream);
    if (written != static_cast<size_t>(bytes)) {
        file->write_failed = true;
        return false;
    }
    return true;
}

int write_audio_frames(const double* frames, int count, audio_file* file)
{
    if (file->mode == AUDIO_MODE_READ) {
        std::fprintf(stderr, "\nWrite attempt at inputfile");
        return 82;
    }
    const audio_header* header = file->header;
    const sample_codec* codec = sample_codec_for(header, AUDIO_MODE_WRITE);
    if (codec == nullptr || header->channels < 1 || file->write_failed)
        return -1;
    const int channels = header->channels;
    const int capacity = (AUDIO_BUFFER_SIZE / channels) / codec->bytes;
    file->buffer_frames = capacity;
    if (capacity == 0)
        return -1;
    const int64_t frame_bytes = int64_t{channels} * codec->bytes;

    while (count > 0) {
        // The buffer is written when the frame after a full buffer arrives.
        if (file->buffer_index >= capacity && !flush_audio_buffer(file, frame_bytes))
            return -1;
        const int n = std::min(count, capacity - file->buffer_index);
        codec->encode(frames, file->buffer.get() + int64_t{file->buffer_index} * frame_bytes,
                      static_cast<size_t>(n) * static_cast<size_t>(channels));
        frames += static_cast<size_t>(n) * static_cast<size_t>(channels);
        count -= n;
        file->buffer_index += n;
    }
    return 0;
}

int write_audio_frame(const double* frame, audio_file* file)
{
    return write_audio_frames(frame, 1, file);
}
