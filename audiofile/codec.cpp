// Frame I/O: samples move between the handle's 1 MiB buffer and frames of
// doubles.  The converter for a type is looked up once per call; the block
// loops below then run without any per-sample dispatch.
#include "audiofile.h"
#include "byteorder.h"
#include "codec.h"
#include "double_precision.h"
#include "formats.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <tmmintrin.h>
#endif

namespace {

// On a little-endian machine samples move as whole machine words (a 24-bit
// one as a 4-byte word that overlaps the next sample); elsewhere byte by byte.
using byteorder_detail::little_host;

// floor(x + 0.5) for x already clipped into the 32-bit range: truncate, then
// step down where truncation went up (negative non-integers).  The sum is
// rounded to double first, as the rule takes it.
inline int32_t round_clipped(double c)
{
    const double y = in_double(c + 0.5);
    const auto i = static_cast<int32_t>(y);
    return i - (static_cast<double>(i) > y ? 1 : 0);
}

// Clip to [lo, hi] before rounding; a NaN counts as below the minimum (the
// first comparison is false for it).
template <int32_t lo, int32_t hi>
inline int32_t clip_round(double x)
{
    double c = x > static_cast<double>(lo) ? x : static_cast<double>(lo);
    c = c < static_cast<double>(hi) ? c : static_cast<double>(hi);
    return round_clipped(c);
}

// 32-bit samples clip too, so that full scale never wraps; a NaN stores 0.
inline int32_t clip_round_32(double x)
{
    const int32_t v = clip_round<INT32_MIN, INT32_MAX>(x);
    return x == x ? v : 0;
}

// Setting SONO_NO_SIMD in the environment (to anything) turns every vector
// path off, so that the plain loops can be tested on machines that have the
// vectors.  Read once.
[[maybe_unused]] bool vectors_allowed()
{
    static const bool allowed = std::getenv("SONO_NO_SIMD") == nullptr;
    return allowed;
}

// The same rules over a block.  The compiler turns the selects above into
// branches and will not vectorise them, so on x86-64 the block runs on SSE2
// (part of every x86-64 processor), two doubles per instruction, with the
// same results bit for bit: MAXPD gives its second operand (the minimum)
// when the first is a NaN, MINPD clips, and the truncating conversion is
// corrected downwards where it rounded up.
template <int32_t lo, int32_t hi, bool nan_is_zero>
void clip_round_block(const double* in, int32_t* out, size_t n)
{
    size_t i = 0;
#if defined(__SSE2__)
    const __m128d low = _mm_set1_pd(lo), high = _mm_set1_pd(hi), half = _mm_set1_pd(0.5);
    const auto two = [&](const double* p) {
        const __m128d x = _mm_loadu_pd(p);
        const __m128d y = _mm_add_pd(_mm_min_pd(_mm_max_pd(x, low), high), half);
        __m128i v = _mm_cvttpd_epi32(y);
        const __m128d up = _mm_cmpgt_pd(_mm_cvtepi32_pd(v), y);
        v = _mm_add_epi32(v, _mm_shuffle_epi32(_mm_castpd_si128(up), _MM_SHUFFLE(3, 3, 2, 0)));
        if constexpr (nan_is_zero)
            v = _mm_and_si128(v, _mm_shuffle_epi32(_mm_castpd_si128(_mm_cmpord_pd(x, x)), _MM_SHUFFLE(3, 3, 2, 0)));
        return v;  // two results in the low half
    };
    if (vectors_allowed())
        for (; i + 4 <= n; i += 4)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi64(two(in + i), two(in + i + 2)));
#endif
    for (; i < n; ++i)
        out[i] = nan_is_zero ? clip_round_32(in[i]) : clip_round<lo, hi>(in[i]);
}

// Whole machine words for the 24-bit packing below, which overlaps samples.
using byteorder_detail::load_word;
using byteorder_detail::store_word;

// Integer samples are clipped and rounded into a small block of int32 first
// (clip_round_block), then packed into the file's bytes.
constexpr size_t STAGE = 512;

template <int32_t lo, int32_t hi, size_t bytes, void (*pack)(const int32_t*, unsigned char*, size_t)>
void encode_integers(const double* in, unsigned char* out, size_t n)
{
    std::array<int32_t, STAGE> stage;
    for (size_t done = 0; done < n; done += STAGE) {
        const size_t m = std::min(STAGE, n - done);
        clip_round_block<lo, hi, lo == INT32_MIN>(in + done, stage.data(), m);
        pack(stage.data(), out + done * bytes, m);
    }
}

// --- decoders: buffer bytes to doubles -------------------------------------
// The integer ones also decode to int32 (T), for copies between integer
// types that need no trip through doubles.

template <typename T>
void decode_s8(const unsigned char* in, T* out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<signed char>(in[i]);
}

template <typename T>
void decode_u8(const unsigned char* in, T* out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<int>(in[i]) - 128;
}

template <typename T>
void decode_s16be(const unsigned char* in, T* out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<int16_t>(load_be16(in + 2 * i));
}

template <typename T>
void decode_s16le(const unsigned char* in, T* out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<int16_t>(load_le16(in + 2 * i));
}

// The top byte of a 24-bit sample is shifted into bit 31 and back, which
// extends its sign.
inline int32_t s24(uint32_t high_aligned) { return static_cast<int32_t>(high_aligned) >> 8; }

template <typename T>
void decode_s24be(const unsigned char* in, T* out, size_t n)
{
    size_t i = 0;
    if constexpr (little_host)
        for (; i + 1 < n; ++i)  // reads one byte of the next sample, never past the data
            out[i] = s24(__builtin_bswap32(load_word<uint32_t>(in + 3 * i)) & 0xFFFFFF00u);
    for (; i < n; ++i) {
        const unsigned char* p = in + 3 * i;
        out[i] = s24(uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8);
    }
}

template <typename T>
void decode_s24le(const unsigned char* in, T* out, size_t n)
{
    size_t i = 0;
    if constexpr (little_host)
        for (; i + 1 < n; ++i)
            out[i] = s24(load_word<uint32_t>(in + 3 * i) << 8);
    for (; i < n; ++i) {
        const unsigned char* p = in + 3 * i;
        out[i] = s24(uint32_t{p[2]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[0]} << 8);
    }
}

template <typename T>
void decode_s32be(const unsigned char* in, T* out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<int32_t>(load_be32(in + 4 * i));
}

template <typename T>
void decode_s32le(const unsigned char* in, T* out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<int32_t>(load_le32(in + 4 * i));
}

// Float and double samples move as bit patterns, never through a
// floating-point load of what may be a NaN: the x87 unit quiets a
// signalling NaN it loads, and every unit quiets one it converts between
// float and double.  A float NaN widens to the double NaN of the same sign
// and payload, which narrows back to the same float, signalling or not.
inline uint64_t bits_of(const double* x)
{
    uint64_t bits = 0;
    std::memcpy(&bits, x, sizeof bits);
    return bits;
}

inline void set_bits(double* x, uint64_t bits) { std::memcpy(x, &bits, sizeof bits); }

// Both ways are worked out and one is picked, without a branch.
inline uint64_t widen_float(uint32_t f)
{
    const uint64_t nan = uint64_t{f & 0x80000000u} << 32 | 0x7FF0000000000000u | uint64_t{f & 0x007FFFFFu} << 29;
    const uint64_t value = std::bit_cast<uint64_t>(static_cast<double>(std::bit_cast<float>(f)));
    return (f & 0x7FFFFFFFu) > 0x7F800000u ? nan : value;
}

inline uint32_t narrow_double(uint64_t d)
{
    // A payload held only in bits a float lacks leaves a quiet NaN, as the
    // hardware conversion does.
    const auto payload = static_cast<uint32_t>(d >> 29) & 0x007FFFFFu;
    const uint32_t nan = (static_cast<uint32_t>(d >> 32) & 0x80000000u) | 0x7F800000u | (payload != 0 ? payload : 0x00400000u);
    const uint32_t value = std::bit_cast<uint32_t>(static_cast<float>(std::bit_cast<double>(d)));
    return (d & 0x7FFFFFFFFFFFFFFFu) > 0x7FF0000000000000u ? nan : value;
}

void decode_f32be(const unsigned char* in, double* out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        set_bits(out + i, widen_float(load_be32(in + 4 * i)));
}

void decode_f32le(const unsigned char* in, double* out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        set_bits(out + i, widen_float(load_le32(in + 4 * i)));
}

void decode_f64be(const unsigned char* in, double* out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        set_bits(out + i, load_be64(in + 8 * i));
}

// --- encoders: doubles to buffer bytes --------------------------------------

// Packing of integer values already within the type's range.
void pack_s8(const int32_t* v, unsigned char* o, size_t m)
{
    for (size_t i = 0; i < m; ++i)
        o[i] = static_cast<unsigned char>(v[i]);
}

void pack_u8(const int32_t* v, unsigned char* o, size_t m)
{
    for (size_t i = 0; i < m; ++i)
        o[i] = static_cast<unsigned char>(v[i] + 128);
}

void pack_s16be(const int32_t* v, unsigned char* o, size_t m)
{
    for (size_t i = 0; i < m; ++i)
        store_be16(o + 2 * i, static_cast<uint32_t>(v[i]));
}

void pack_s16le(const int32_t* v, unsigned char* o, size_t m)
{
    for (size_t i = 0; i < m; ++i)
        store_le16(o + 2 * i, static_cast<uint32_t>(v[i]));
}

#if defined(__x86_64__)
// 24-bit packing is a byte shuffle: sixteen samples become three 16-byte
// stores.  SSSE3 is not part of the x86-64 baseline, so the processor is
// asked once; the count of samples packed is returned, the rest is left to
// the plain loop.
__attribute__((target("ssse3"))) inline __m128i low_bytes_of_four(const int32_t* p, __m128i order)
{
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), order);
}

template <bool big>
__attribute__((target("ssse3"))) size_t pack_s24_ssse3(const int32_t* v, unsigned char* o, size_t m)
{
    const __m128i order = big ? _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1)
                              : _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    size_t i = 0;
    for (; i + 16 <= m; i += 16) {
        const __m128i a = low_bytes_of_four(v + i, order), b = low_bytes_of_four(v + i + 4, order);
        const __m128i c = low_bytes_of_four(v + i + 8, order), d = low_bytes_of_four(v + i + 12, order);
        auto* out = reinterpret_cast<__m128i*>(o + 3 * i);
        _mm_storeu_si128(out, _mm_or_si128(a, _mm_slli_si128(b, 12)));
        _mm_storeu_si128(out + 1, _mm_or_si128(_mm_srli_si128(b, 4), _mm_slli_si128(c, 8)));
        _mm_storeu_si128(out + 2, _mm_or_si128(_mm_srli_si128(c, 8), _mm_slli_si128(d, 4)));
    }
    return i;
}

bool have_ssse3()
{
    static const bool have = vectors_allowed() && (__builtin_cpu_init(), __builtin_cpu_supports("ssse3"));
    return have;
}
#endif

template <bool big>
size_t pack_s24_vector([[maybe_unused]] const int32_t* v, [[maybe_unused]] unsigned char* o,
                       [[maybe_unused]] size_t m)
{
#if defined(__x86_64__)
    if (have_ssse3())
        return pack_s24_ssse3<big>(v, o, m);
#endif
    return 0;
}

void pack_s24be(const int32_t* v, unsigned char* o, size_t m)
{
    size_t i = pack_s24_vector<true>(v, o, m);
    if constexpr (little_host)
        for (; i + 1 < m; ++i)  // the fourth byte is overwritten by the next sample
            store_word<uint32_t>(o + 3 * i, __builtin_bswap32(static_cast<uint32_t>(v[i]) << 8));
    for (; i < m; ++i) {
        const auto u = static_cast<uint32_t>(v[i]);
        o[3 * i] = static_cast<unsigned char>(u >> 16);
        o[3 * i + 1] = static_cast<unsigned char>(u >> 8);
        o[3 * i + 2] = static_cast<unsigned char>(u);
    }
}

void pack_s24le(const int32_t* v, unsigned char* o, size_t m)
{
    size_t i = pack_s24_vector<false>(v, o, m);
    if constexpr (little_host)
        for (; i + 1 < m; ++i)
            store_word<uint32_t>(o + 3 * i, static_cast<uint32_t>(v[i]));
    for (; i < m; ++i) {
        const auto u = static_cast<uint32_t>(v[i]);
        o[3 * i] = static_cast<unsigned char>(u);
        o[3 * i + 1] = static_cast<unsigned char>(u >> 8);
        o[3 * i + 2] = static_cast<unsigned char>(u >> 16);
    }
}

void pack_s32be(const int32_t* v, unsigned char* o, size_t m)
{
    for (size_t i = 0; i < m; ++i)
        store_be32(o + 4 * i, static_cast<uint32_t>(v[i]));
}

void pack_s32le(const int32_t* v, unsigned char* o, size_t m)
{
    for (size_t i = 0; i < m; ++i)
        store_le32(o + 4 * i, static_cast<uint32_t>(v[i]));
}

void encode_f32be(const double* in, unsigned char* out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        store_be32(out + 4 * i, narrow_double(bits_of(in + i)));
}

void encode_f32le(const double* in, unsigned char* out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        store_le32(out + 4 * i, narrow_double(bits_of(in + i)));
}

void encode_f64be(const double* in, unsigned char* out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        store_be64(out + 8 * i, bits_of(in + i));
}

#if defined(__SSE2__)
// The bytes of each 32-bit (64-bit) word of a vector in reverse order: its
// 16-bit halves (quarters) reversed, then the two bytes of each.  SSE2 has
// no byte shuffle, and the compiler will not make one of a byte swap.
inline __m128i reverse_bytes_32(__m128i x)
{
    x = _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, _MM_SHUFFLE(2, 3, 0, 1)), _MM_SHUFFLE(2, 3, 0, 1));
    return _mm_or_si128(_mm_slli_epi16(x, 8), _mm_srli_epi16(x, 8));
}

inline __m128i reverse_bytes_64(__m128i x)
{
    x = _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, _MM_SHUFFLE(0, 1, 2, 3)), _MM_SHUFFLE(0, 1, 2, 3));
    return _mm_or_si128(_mm_slli_epi16(x, 8), _mm_srli_epi16(x, 8));
}
#endif

// Integer values times a power of two, as floats: int32 to float rounds once
// (to nearest), and the scaling is exact, so the result is that of the trip
// through a double.  On x86-64 four at a time (SSE2 converts and multiplies
// with the same rounding).
template <bool big>
void scaled_f32(const int32_t* v, unsigned char* out, size_t n, double scale)
{
    const auto s = static_cast<float>(scale);
    size_t i = 0;
#if defined(__SSE2__)
    if (vectors_allowed()) {
        const __m128 factor = _mm_set1_ps(s);
        for (; i + 4 <= n; i += 4) {
            const __m128 f = _mm_mul_ps(_mm_cvtepi32_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v + i))), factor);
            const __m128i bits = _mm_castps_si128(f);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * i), big ? reverse_bytes_32(bits) : bits);
        }
    }
#endif
    for (; i < n; ++i) {
        const auto bits = std::bit_cast<uint32_t>(static_cast<float>(v[i]) * s);
        big ? store_be32(out + 4 * i, bits) : store_le32(out + 4 * i, bits);
    }
}

void scaled_f64be(const int32_t* v, unsigned char* out, size_t n, double scale)
{
    size_t i = 0;
#if defined(__SSE2__)
    if (vectors_allowed()) {
        const __m128d factor = _mm_set1_pd(scale);
        for (; i + 2 <= n; i += 2) {
            const __m128d d = _mm_mul_pd(_mm_cvtepi32_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + i))), factor);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * i), reverse_bytes_64(_mm_castpd_si128(d)));
        }
    }
#endif
    for (; i < n; ++i)
        store_be64(out + 8 * i, std::bit_cast<uint64_t>(static_cast<double>(v[i]) * scale));
}

template <int bytes, int32_t lo, int32_t hi, auto decode, auto unpack, void (*pack)(const int32_t*, unsigned char*, size_t)>
constexpr sample_codec integer_codec{bytes, decode, encode_integers<lo, hi, bytes, pack>, true, lo, hi, unpack, pack};

constexpr sample_codec s8 = integer_codec<1, -128, 127, decode_s8<double>, decode_s8<int32_t>, pack_s8>;
constexpr sample_codec u8 = integer_codec<1, -128, 127, decode_u8<double>, decode_u8<int32_t>, pack_u8>;
constexpr sample_codec s16be =
    integer_codec<2, -32768, 32767, decode_s16be<double>, decode_s16be<int32_t>, pack_s16be>;
constexpr sample_codec s16le =
    integer_codec<2, -32768, 32767, decode_s16le<double>, decode_s16le<int32_t>, pack_s16le>;
constexpr sample_codec s24be =
    integer_codec<3, -8388608, 8388607, decode_s24be<double>, decode_s24be<int32_t>, pack_s24be>;
constexpr sample_codec s24le =
    integer_codec<3, -8388608, 8388607, decode_s24le<double>, decode_s24le<int32_t>, pack_s24le>;
constexpr sample_codec s32be =
    integer_codec<4, INT32_MIN, INT32_MAX, decode_s32be<double>, decode_s32be<int32_t>, pack_s32be>;
constexpr sample_codec s32le =
    integer_codec<4, INT32_MIN, INT32_MAX, decode_s32le<double>, decode_s32le<int32_t>, pack_s32le>;
constexpr sample_codec f32be{4, decode_f32be, encode_f32be, false, 0, 0, nullptr, nullptr, scaled_f32<true>};
constexpr sample_codec f32le{4, decode_f32le, encode_f32le, false, 0, 0, nullptr, nullptr, scaled_f32<false>};
constexpr sample_codec f64be{8, decode_f64be, encode_f64be, false, 0, 0, nullptr, nullptr, scaled_f64be};

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
constexpr int32_t reversed(int32_t marker) { return static_cast<int32_t>(swap32(static_cast<uint32_t>(marker))); }

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

namespace {

// Hands out up to max frames of the stream's bytes: *data points at them in
// the buffer and *got tells how many.  0, or -1 at the end of the data.
//
// An update handle reads no further than the frames asked for and keeps
// nothing in its buffer: there buffer_index counts frames waiting to be
// written, which close writes, so frames read ahead would be written back
// over the file.  Frames written before are written out first, and the
// stream is repositioned between writing and reading, as stdio requires.
// Reads up to n bytes of sample data into dst, never past the end of the
// data the header states.
size_t read_data(audio_file* file, unsigned char* dst, size_t n)
{
    if (file->data_left >= 0)
        n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(n), file->data_left));
    const size_t got = read_audio_bytes(file->stream, dst, n);
    if (file->data_left >= 0)
        file->data_left -= static_cast<int64_t>(got);
    return got;
}

int next_frames(audio_file* file, int64_t frame_bytes, int max, const unsigned char** data, int* got)
{
    if (frame_bytes > AUDIO_BUFFER_SIZE)
        return -1;
    if (file->mode == AUDIO_MODE_UPDATE) {
        if (file->buffer_index > 0) {
            const int waiting_bytes = audio_sample_bytes(file->header->type);
            if (!flush_audio_buffer(file, int64_t{file->header->channels} * waiting_bytes))
                return -1;
        }
        fseeko(file->stream, 0, SEEK_CUR);
        const int64_t count = std::min<int64_t>(max, AUDIO_BUFFER_SIZE / frame_bytes);
        const size_t n = read_data(file, file->buffer.get(), static_cast<size_t>(count * frame_bytes));
        const auto whole = static_cast<int>(n / static_cast<size_t>(frame_bytes));
        if (whole == 0)
            return -1;
        file->buffer_frames = whole;
        *data = file->buffer.get();
        *got = whole;
        return 0;
    }
    if (file->buffer_index == 0) {
        const size_t wanted = AUDIO_BUFFER_SIZE - AUDIO_BUFFER_SIZE % frame_bytes;
        const size_t n = read_data(file, file->buffer.get(), wanted);
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
    *data = file->buffer.get() + index * frame_bytes;
    file->buffer_index += count;
    if (file->buffer_index >= file->buffer_frames)
        file->buffer_index = 0;
    *got = count;
    return 0;
}

// Space in a write handle's buffer for up to count frames; *fit tells how
// many, and they count as waiting from now on.  The buffer is written when
// a frame arrives after it is full.  Null when the flush failed.
unsigned char* next_slots(audio_file* file, int64_t frame_bytes, int capacity, int count, int* fit)
{
    if (file->buffer_index >= capacity && !flush_audio_buffer(file, frame_bytes))
        return nullptr;
    *fit = std::min(count, capacity - file->buffer_index);
    unsigned char* slots = file->buffer.get() + int64_t{file->buffer_index} * frame_bytes;
    file->buffer_index += *fit;
    return slots;
}

// The capacity of a write handle's buffer in frames for the header as it is
// now; 0 when the handle cannot take frames.
int write_capacity(audio_file* file, const sample_codec* codec)
{
    if (codec == nullptr || file->header->channels < 1 || file->write_failed)
        return 0;
    file->buffer_frames = (AUDIO_BUFFER_SIZE / file->header->channels) / codec->bytes;
    return file->buffer_frames;
}

}  // namespace

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
    const unsigned char* data = nullptr;
    if (next_frames(file, int64_t{header->channels} * codec->bytes, max, &data, got) != 0)
        return -1;
    codec->decode(data, frames, static_cast<size_t>(*got) * static_cast<size_t>(header->channels));
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
    if (file->mode == AUDIO_MODE_UPDATE)
        fseeko(file->stream, 0, SEEK_CUR);  // frames may have been read last
    const size_t written = std::fwrite(file->buffer.get(), 1, static_cast<size_t>(bytes), file->stream);
    if (written != static_cast<size_t>(bytes)) {
        file->write_failed = true;
        return false;
    }
    return true;
}

namespace {

// What every block write checks first: a read handle is refused with 82, a
// header the frame functions cannot write with -1; otherwise the codec and
// the buffer's capacity in frames.
int start_write(audio_file* file, const sample_codec** codec, int* capacity)
{
    if (file->mode == AUDIO_MODE_READ) {
        std::fprintf(stderr, "\nWrite attempt at inputfile");
        return 82;
    }
    *codec = sample_codec_for(file->header, AUDIO_MODE_WRITE);
    *capacity = write_capacity(file, *codec);
    return *capacity == 0 ? -1 : 0;
}

}  // namespace

int write_audio_frames(const double* frames, int count, audio_file* file)
{
    const sample_codec* codec = nullptr;
    int capacity = 0;
    if (const int refused = start_write(file, &codec, &capacity); refused != 0)
        return refused;
    const auto channels = static_cast<size_t>(file->header->channels);
    const int64_t frame_bytes = static_cast<int64_t>(channels) * codec->bytes;
    while (count > 0) {
        int fit = 0;
        unsigned char* slots = next_slots(file, frame_bytes, capacity, count, &fit);
        if (slots == nullptr)
            return -1;
        codec->encode(frames, slots, static_cast<size_t>(fit) * channels);
        frames += static_cast<size_t>(fit) * channels;
        count -= fit;
    }
    return 0;
}

int write_audio_integers(const int32_t* frames, int count, audio_file* file)
{
    const sample_codec* codec = nullptr;
    int capacity = 0;
    if (const int refused = start_write(file, &codec, &capacity); refused != 0)
        return refused;
    const auto channels = static_cast<size_t>(file->header->channels);
    const int64_t frame_bytes = static_cast<int64_t>(channels) * codec->bytes;
    // Values go through a small stage: clipped for integer types, made
    // doubles for float types.
    constexpr size_t stage_samples = 4096;
    std::array<int32_t, stage_samples> clipped;
    std::array<double, stage_samples> values;
    while (count > 0) {
        int fit = 0;
        unsigned char* slots = next_slots(file, frame_bytes, capacity, count, &fit);
        if (slots == nullptr)
            return -1;
        const size_t samples = static_cast<size_t>(fit) * channels;
        for (size_t done = 0; done < samples;) {
            const size_t m = std::min(stage_samples, samples - done);
            if (codec->integer) {
                for (size_t i = 0; i < m; ++i)
                    clipped[i] = std::clamp(frames[done + i], codec->lo, codec->hi);
                codec->pack(clipped.data(), slots + done * static_cast<size_t>(codec->bytes), m);
            } else {
                for (size_t i = 0; i < m; ++i)
                    values[i] = frames[done + i];
                codec->encode(values.data(), slots + done * static_cast<size_t>(codec->bytes), m);
            }
            done += m;
        }
        frames += samples;
        count -= fit;
    }
    return 0;
}

int write_audio_frame(const double* frame, audio_file* file)
{
    return write_audio_frames(frame, 1, file);
}

namespace {

// Whether decoding a sample of in and encoding it again for out gives back
// its bytes: the same converter on both sides (every converter gives back
// the bytes it decoded, NaNs included).
bool same_samples(const audio_header& in, const audio_header& out)
{
    const sample_codec* from = sample_codec_for(&in, AUDIO_MODE_READ);
    return from != nullptr && from == sample_codec_for(&out, AUDIO_MODE_WRITE) && in.channels >= 1 &&
           in.channels == out.channels;
}

// Whole frames moving as they are stored, from one stream to another.
struct frame_move {
    FILE* from;
    int64_t* left;  // bytes `from` may still give, counted down; negative: to its end
    FILE* to;
    size_t frame;   // bytes per frame
    int64_t most;   // frames at most; negative: all there are
    unsigned char* scratch;  // AUDIO_BUFFER_SIZE bytes
};

// The bytes of whole frames a move may take from a source that holds
// `available` bytes.
uint64_t move_limit(const frame_move& m, uint64_t available)
{
    if (*m.left >= 0)
        available = std::min(available, static_cast<uint64_t>(*m.left));
    if (m.most >= 0)
        available = std::min(available, static_cast<uint64_t>(m.most) * m.frame);
    return available / m.frame * m.frame;
}

// Between two regular files the kernel copies the whole frames without
// passing them through this process.  Returns the frames it copied; *all
// tells whether that was every one.  Otherwise the streams stand after the
// last whole frame copied, and the caller moves on through a buffer.
int64_t move_in_kernel(const frame_move& m, bool* all, bool* lost)
{
    *all = false;
#if defined(__linux__)
    struct stat in_status {};
    struct stat out_status {};
    const int in_fd = fileno(m.from);
    const int out_fd = fileno(m.to);
    if (in_fd < 0 || out_fd < 0 || fstat(in_fd, &in_status) != 0 || fstat(out_fd, &out_status) != 0 ||
        !S_ISREG(in_status.st_mode) || !S_ISREG(out_status.st_mode) || std::fflush(m.to) != 0)
        return 0;
    off_t in_offset = ftello(m.from);
    off_t out_offset = ftello(m.to);
    if (in_offset < 0 || out_offset < 0 || in_status.st_size < in_offset)
        return 0;
    const uint64_t total = move_limit(m, static_cast<uint64_t>(in_status.st_size - in_offset));
    uint64_t done = 0;
    while (done < total) {
        const ssize_t n = copy_file_range(in_fd, &in_offset, out_fd, &out_offset, std::min<uint64_t>(total - done, 1u << 30), 0);
        if (n < 0 && errno == EINTR)
            continue;
        // Any other failure leaves the rest to the buffered copy, which
        // reads it again and reports an error that persists.
        if (n <= 0)
            break;
        done += static_cast<uint64_t>(n);
    }
    // The streams go on after the last whole frame; a frame the kernel only
    // began is copied again by the caller.
    const auto part = static_cast<off_t>(done % m.frame);
    if (fseeko(m.from, in_offset - part, SEEK_SET) != 0 || fseeko(m.to, out_offset - part, SEEK_SET) != 0) {
        *lost = true;
        return 0;
    }
    if (*m.left >= 0)
        *m.left -= static_cast<int64_t>(done - static_cast<uint64_t>(part));
    *all = done == total;
    return static_cast<int64_t>(done / m.frame);
#else
    (void)m;
    (void)lost;
    return 0;
#endif
}

// Moves whole frames, in the kernel where it can, else a buffer at a time;
// as in the frame reader, an incomplete frame at the very end is dropped.
// Returns the frames moved; *lost tells that `to` took fewer bytes.
int64_t move_frames(frame_move m, bool* lost)
{
    bool all = false;
    int64_t moved = move_in_kernel(m, &all, lost);
    if (all || *lost)
        return moved;
    if (m.most >= 0)
        m.most -= moved;
    for (;;) {
        const size_t wanted = static_cast<size_t>(move_limit(m, AUDIO_BUFFER_SIZE));
        size_t got = read_audio_bytes(m.from, m.scratch, wanted);
        if (*m.left >= 0)
            *m.left -= static_cast<int64_t>(got);
        const size_t whole = got / m.frame;
        if (whole == 0 || std::fwrite(m.scratch, m.frame, whole, m.to) != whole) {
            *lost = whole > 0;
            return moved;
        }
        moved += static_cast<int64_t>(whole);
        if (m.most >= 0)
            m.most -= static_cast<int64_t>(whole);
    }
}

// Frames a reading handle holds in its buffer go first: up to most of them
// (negative: all) are written to `to`.  Returns how many; *lost as above.
int64_t move_buffered(audio_file* in, size_t frame, int64_t most, FILE* to, bool* lost)
{
    if (in->buffer_index == 0)
        return 0;
    int64_t count = in->buffer_frames - in->buffer_index;
    if (most >= 0)
        count = std::min(count, most);
    const unsigned char* first = in->buffer.get() + static_cast<size_t>(in->buffer_index) * frame;
    *lost = std::fwrite(first, frame, static_cast<size_t>(count), to) != static_cast<size_t>(count);
    in->buffer_index += static_cast<int>(count);
    if (in->buffer_index >= in->buffer_frames)
        in->buffer_index = 0;
    return count;
}

// Whole frames move as bytes from stream to stream.
int copy_unconverted(audio_file* in, audio_file* out, int64_t* copied)
{
    const auto frame = static_cast<size_t>(in->header->channels) * static_cast<size_t>(audio_sample_bytes(in->header->type));
    if (frame > AUDIO_BUFFER_SIZE)
        return -1;
    // Anything already buffered on either side goes first, in order.
    if (out->buffer_index > 0 && !flush_audio_buffer(out, static_cast<int64_t>(frame)))
        return -1;
    bool lost = false;
    *copied += move_buffered(in, frame, -1, out->stream, &lost);
    if (!lost)
        *copied += move_frames({in->stream, &in->data_left, out->stream, frame, -1, out->buffer.get()}, &lost);
    out->write_failed |= lost;
    return lost ? -1 : 0;
}

}  // namespace

int raw_sample_bytes(const audio_header* header, int mode)
{
    const sample_codec* codec = sample_codec_for(header, mode);
    return codec == &s16le || codec == &s24le || codec == &s32le ? codec->bytes : 0;
}

int copy_audio_samples(audio_file* in, FILE* out, int64_t frames, int64_t* copied)
{
    const int bytes = raw_sample_bytes(in->header, AUDIO_MODE_READ);
    if (in->mode != AUDIO_MODE_READ || bytes == 0 || in->header->channels < 1 ||
        int64_t{in->header->channels} * bytes > AUDIO_BUFFER_SIZE)
        return -1;
    const auto frame = static_cast<size_t>(in->header->channels) * static_cast<size_t>(bytes);
    bool lost = false;
    const int64_t first = move_buffered(in, frame, frames, out, &lost);
    *copied += first;
    // With the buffered frames out, the reading buffer is free to carry the
    // rest.
    const int64_t rest = frames < 0 ? -1 : frames - first;
    if (!lost && rest != 0)
        *copied += move_frames({in->stream, &in->data_left, out, frame, rest, in->buffer.get()}, &lost);
    if (lost)
        return -1;
    return std::ferror(in->stream) != 0 ? -3 : 0;
}

int wrap_audio_samples(FILE* in, audio_file* out, int64_t* copied)
{
    const int bytes = raw_sample_bytes(out->header, AUDIO_MODE_WRITE);
    if (out->mode != AUDIO_MODE_WRITE || bytes == 0 || out->header->channels < 1 || out->write_failed ||
        int64_t{out->header->channels} * bytes > AUDIO_BUFFER_SIZE)
        return -1;
    const auto frame = static_cast<size_t>(out->header->channels) * static_cast<size_t>(bytes);
    if (out->buffer_index > 0 && !flush_audio_buffer(out, static_cast<int64_t>(frame)))
        return -1;
    int64_t left = -1;  // a raw file is samples to its end
    bool lost = false;
    *copied += move_frames({in, &left, out->stream, frame, -1, out->buffer.get()}, &lost);
    out->write_failed |= lost;
    if (lost)
        return -1;
    return std::ferror(in) != 0 ? -3 : 0;
}

namespace {

// Values of the codec from scaled by 2^shift and clipped to the range of
// to, as the double path would give them: the scaling is exact, and a shift
// to the right rounds halves up, floor(x / 2^k + 0.5), which is x >> k plus
// the bit shifted out last.  Each case is a plain loop the compiler runs on
// vectors, as long as it is not inlined into the copy loop (GCC 12 then
// leaves them scalar, at ten times the cost).
__attribute__((noinline)) void scale_integers(int32_t* v, size_t n, int shift, const sample_codec& from, const sample_codec& to)
{
    const int32_t lo = to.lo, hi = to.hi;
    if (shift > 0 && (int64_t{from.hi} << shift) <= hi && (int64_t{from.lo} * (int64_t{1} << shift)) >= lo) {
        for (size_t i = 0; i < n; ++i)  // widening: nothing can clip
            v[i] = static_cast<int32_t>(static_cast<uint32_t>(v[i]) << shift);
    } else if (shift > 0) {
        for (size_t i = 0; i < n; ++i)
            v[i] = static_cast<int32_t>(std::clamp<int64_t>(int64_t{v[i]} * (int64_t{1} << shift), lo, hi));
    } else if (shift < 0) {
        const int k = -shift;
        for (size_t i = 0; i < n; ++i) {
            const int32_t r = (v[i] >> k) + ((v[i] >> (k - 1)) & 1);
            v[i] = r < lo ? lo : r > hi ? hi : r;
        }
    } else if (from.lo < lo || from.hi > hi) {
        for (size_t i = 0; i < n; ++i)
            v[i] = v[i] < lo ? lo : v[i] > hi ? hi : v[i];
    }
}

// Integer samples to integer samples, scaled by a power of two, without the
// trip through doubles; the bytes are those the frame functions would give.
// (Into float and double samples the values are scaled by 2^shift on the
// way, by to.scaled.)
int copy_integers(audio_file* in, audio_file* out, const sample_codec& from, const sample_codec& to, int shift,
                  int64_t* copied)
{
    const int capacity = write_capacity(out, &to);
    if (capacity == 0)
        return -1;
    const auto channels = static_cast<size_t>(in->header->channels);
    const int64_t in_frame = static_cast<int64_t>(channels) * from.bytes;
    const int64_t out_frame = static_cast<int64_t>(channels) * to.bytes;
    constexpr size_t block_samples = 4096;  // stays in the cache between the passes
    const int block_frames = static_cast<int>(std::max<size_t>(1, block_samples / channels));
    std::unique_ptr<int32_t[]> values(new (std::nothrow) int32_t[static_cast<size_t>(block_frames) * channels]);
    if (!values)
        return -2;
    const unsigned char* data = nullptr;
    int got = 0;
    while (next_frames(in, in_frame, block_frames, &data, &got) == 0) {
        const size_t samples = static_cast<size_t>(got) * channels;
        from.unpack(data, values.get(), samples);
        if (to.integer)
            scale_integers(values.get(), samples, shift, from, to);
        for (int done = 0; done < got;) {
            int fit = 0;
            unsigned char* slots = next_slots(out, out_frame, capacity, got - done, &fit);
            if (slots == nullptr)
                return -1;
            const int32_t* first = values.get() + static_cast<size_t>(done) * channels;
            if (to.integer)
                to.pack(first, slots, static_cast<size_t>(fit) * channels);
            else
                to.scaled(first, slots, static_cast<size_t>(fit) * channels, std::ldexp(1.0, shift));
            done += fit;
        }
        *copied += got;
    }
    return 0;
}

// Every remaining frame of in to out, by the fastest path that gives the
// bytes the frame functions would.
int copy_frames(audio_file* in, audio_file* out, double factor, int64_t* copied)
{
    // Between integer types scaled by a power of two (what sonomorph -n
    // does), integers suffice.
    const sample_codec* from = sample_codec_for(in->header, AUDIO_MODE_READ);
    const sample_codec* to = sample_codec_for(out->header, AUDIO_MODE_WRITE);
    int exponent = 0;
    const bool power_of_two = factor > 0.0 && std::frexp(factor, &exponent) == 0.5 && exponent >= -30 && exponent <= 32;
    if (power_of_two && from != nullptr && to != nullptr && from->integer && (to->integer || to->scaled != nullptr) &&
        in->mode == AUDIO_MODE_READ && out->mode == AUDIO_MODE_WRITE && in->header->channels >= 1 &&
        in->header->channels == out->header->channels && !(factor == 1.0 && from == to))
        return copy_integers(in, out, *from, *to, exponent - 1, copied);

    if (factor == 1.0 && in->mode == AUDIO_MODE_READ && out->mode == AUDIO_MODE_WRITE &&
        same_samples(*in->header, *out->header))
        return copy_unconverted(in, out, copied);

    constexpr int block_samples = 32768;  // large enough that call overhead vanishes
    const int channels = in->header->channels;
    if (channels < 1)
        return 0;
    const int block_frames = std::max(1, block_samples / channels);
    std::unique_ptr<double[]> block(new (std::nothrow) double[static_cast<size_t>(block_frames) * static_cast<size_t>(channels)]);
    if (!block)
        return -2;
    int got = 0;
    while (read_audio_frames(block.get(), block_frames, &got, in) == 0) {
        if (factor != 1.0)
            for (size_t i = 0; i < static_cast<size_t>(got) * static_cast<size_t>(channels); ++i)
                block[i] *= factor;
        if (write_audio_frames(block.get(), got, out) != 0)
            return -1;
        *copied += got;
    }
    return 0;
}

}  // namespace

int copy_audio_frames(audio_file* in, audio_file* out, double factor, int64_t* copied)
{
    const int result = copy_frames(in, out, factor, copied);
    // A failed read is no end of the data: the copy would be short.
    return result == 0 && std::ferror(in->stream) != 0 ? -3 : result;
}
