// AIFF and uncompressed AIFC: big-endian chunks inside a "FORM" chunk; the
// sample rate is an 80-bit extended-precision number.
#include "byteorder.h"
#include "double_precision.h"
#include "formats.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>

namespace {

constexpr uint32_t AIFC_VERSION_1 = 0xA2805140u;
constexpr uint32_t AIFF_COMM_SIZE = 18;
constexpr uint32_t AIFC_COMM_SIZE = 38;
constexpr size_t COMMENT_MAX = sizeof(audio_header::comment) - 1;

// Everything a header can hold: AIFC fields, a comment chunk of the longest
// comment, the SSND fields.
constexpr size_t AIFF_HEADER_MAX = 86 + 8 + 10 + COMMENT_MAX + 1;

// Counted text padded to even length, as the compression name is stored.
struct pstring {
    std::array<unsigned char, 256> bytes{};
    size_t length = 0;
};

constexpr pstring make_pstring(const char* text)
{
    pstring p;
    size_t n = 0;
    while (text[n] != '\0' && n < 255)
        ++n;
    p.bytes[0] = static_cast<unsigned char>(n);
    for (size_t i = 0; i < n; ++i)
        p.bytes[1 + i] = static_cast<unsigned char>(text[i]);
    p.length = 1 + n + (n % 2 == 0 ? 1 : 0);  // the zero pad byte is already there
    return p;
}

constexpr pstring not_compressed = make_pstring("not compressed");
static_assert(not_compressed.length == 16, "AIFC COMM chunk is 22 + 16 bytes");
static_assert(22 + not_compressed.length == AIFC_COMM_SIZE);

int broken(const char* what)
{
    std::fprintf(stderr, "aiff: %s\n", what);
    return AIFF_BROKEN;
}

// Truncated toward zero, saturating at the limits of int32; NaN gives 0.
int32_t to_int32(double v)
{
    if (v != v)
        return 0;
    if (v >= 2147483647.0)
        return INT32_MAX;
    if (v <= -2147483648.0)
        return INT32_MIN;
    return static_cast<int32_t>(v);
}

struct aiff_scan {
    int form = 0;  // AUDIO_AIFF or AUDIO_AIFC once the form type is known
    bool comm_seen = false;
    int16_t channels = 0;
    uint32_t frames = 0;
    int16_t bits = 0;
    int32_t sfreq = 0;
    std::array<char, sizeof(audio_header::comment)> comment{};
    uint64_t position = 0;  // bytes consumed from the stream
    uint32_t ssnd_size = 0;    // the SSND chunk's size field
    uint32_t ssnd_offset = 0;  // bytes before the first sample inside it
};

int form_of(const unsigned char* type)
{
    if (std::memcmp(type, "AIFF", 4) == 0)
        return AUDIO_AIFF;
    if (std::memcmp(type, "AIFC", 4) == 0)
        return AUDIO_AIFC;
    return 0;
}

// Skips n bytes of a chunk; broken when they run past the end of the file
// or past where a data offset can point.
int skip_chunk_bytes(FILE* stream, uint64_t n, aiff_scan& scan, const char* what)
{
    switch (skip_chunk(stream, scan.position, n)) {
    case CHUNK_SKIPPED: return 0;
    case CHUNK_BEYOND_OFFSETS: return broken("samples begin beyond 2 GiB");
    case CHUNK_PAST_END: break;
    }
    return broken(what);
}

// Reads the fields of a COMM chunk of the given size; the stream stands after
// the chunk size.  Returns 0 or the broken code.
int read_comm_chunk(FILE* stream, uint32_t size, aiff_scan& scan)
{
    std::array<unsigned char, 18> comm{};
    if (!read_exact(stream, comm.data(), comm.size()))
        return broken("file ends inside the COMM chunk");
    uint64_t consumed = comm.size();
    scan.channels = static_cast<int16_t>(load_be16(&comm[0]));
    scan.frames = load_be32(&comm[2]);
    scan.bits = static_cast<int16_t>(load_be16(&comm[6]));
    scan.sfreq = to_int32(extended_to_double(&comm[8]));
    if (scan.form == AUDIO_AIFC) {
        // Compression type and counted name.  Only uncompressed big-endian
        // samples are read as such; anything else would be decoded as noise.
        std::array<unsigned char, 5> compression{};
        if (!read_exact(stream, compression.data(), compression.size()))
            return broken("file ends inside the COMM chunk");
        if (std::memcmp(compression.data(), "NONE", 4) != 0 && std::memcmp(compression.data(), "twos", 4) != 0) {
            std::fprintf(stderr, "aifc compression type: %.4s not supported\n",
                         reinterpret_cast<const char*>(compression.data()));
            return AIFF_BROKEN;
        }
        const unsigned count = compression[4];
        const unsigned pad = count % 2 == 0 ? 1 : 0;
        if (skip_bytes(stream, count + pad) != 0)
            return broken("file ends inside the COMM chunk");
        consumed += compression.size() + count + pad;
    }
    scan.comm_seen = true;
    scan.position += consumed;
    // Fields that a later version may add are passed over by the size.
    if (size > consumed)
        return skip_chunk_bytes(stream, size - consumed, scan, "file ends inside the COMM chunk");
    return 0;
}

// Reads the first comment of a COMT chunk; its text is cut to what the
// record holds, the rest is consumed.
int read_comt_chunk(FILE* stream, uint32_t size, aiff_scan& scan)
{
    std::array<unsigned char, 2> number{};
    if (!read_exact(stream, number.data(), number.size()))
        return broken("file ends inside the COMT chunk");
    uint64_t consumed = number.size();
    scan.comment[0] = '\0';
    if (load_be16(number.data()) > 0) {
        std::array<unsigned char, 8> fields{};  // time stamp, marker, count
        if (!read_exact(stream, fields.data(), fields.size()))
            return broken("file ends inside the COMT chunk");
        const unsigned count = load_be16(&fields[6]);
        const unsigned kept = std::min<unsigned>(count, COMMENT_MAX);
        if (!read_exact(stream, scan.comment.data(), kept))
            return broken("file ends inside the COMT chunk");
        scan.comment[kept] = '\0';
        const unsigned rest = count - kept + count % 2;  // with the pad byte
        if (skip_bytes(stream, rest) != 0)
            return broken("file ends inside the COMT chunk");
        consumed += fields.size() + count + count % 2;
    }
    scan.position += consumed;
    // Further comments are passed over.
    if (size > consumed)
        return skip_chunk_bytes(stream, size - consumed, scan, "file ends inside the COMT chunk");
    return 0;
}

// The bytes of sample data the header states: those of the COMM frames and
// those the SSND chunk holds, the fewer where both say; -1 where neither
// does (a header written to a pipe, or sizes too large for their fields).
int64_t stated_bytes(const aiff_scan& scan, int type)
{
    const int64_t comm = size_unstated(scan.frames) ? -1 : int64_t{scan.frames} * scan.channels * (get_type_bits(type) / 8);
    const uint64_t header_bytes = 8 + uint64_t{scan.ssnd_offset};
    const int64_t ssnd = size_unstated(scan.ssnd_size) || scan.ssnd_size <= header_bytes
                             ? -1
                             : static_cast<int64_t>(scan.ssnd_size - header_bytes);
    if (comm >= 0 && ssnd >= 0)
        return std::min(comm, ssnd);
    return comm >= 0 ? comm : ssnd;
}

// Widths that are no whole bytes are stored left-justified in the bytes
// they round up to, and read as those.
static_assert(AUDIO_AIFF_8 == AUDIO_AIFF + 1 && AUDIO_AIFF_32 == AUDIO_AIFF + 4 && AUDIO_AIFC_32 == AUDIO_AIFC + 4);

int type_for_bits(int form, int bits)
{
    if (bits < 1 || bits > 32)
        return -1;
    const int base = form == AUDIO_AIFF ? AUDIO_AIFF : AUDIO_AIFC;
    return base + (bits + 7) / 8;
}

}  // namespace

void double_to_extended(double x, unsigned char* out)
{
    unsigned sign = 0;
    if (x < 0) {
        sign = 0x8000;
        x = -x;
    }
    std::memset(out, 0, 10);
    if (x == 0)
        return;
    int e = 0;
    double m = std::frexp(x, &e);
    if (e > 16384 || !(m < 1)) {  // infinite or not a number
        store_be16(out, sign | 0x7FFF);
        return;
    }
    e += 16382;
    if (e < 0) {  // below the normal range: denormalise
        m = std::ldexp(m, e);
        e = 0;
    }
    store_be16(out, sign | static_cast<unsigned>(e));
    const double scaled = std::ldexp(m, 32);
    const double hi = std::floor(scaled);
    const double lo = std::floor(std::ldexp(scaled - hi, 32));
    store_be32(out + 2, static_cast<uint32_t>(hi));
    store_be32(out + 6, static_cast<uint32_t>(lo));
}

double extended_to_double(const unsigned char* in)
{
    const int e = (in[0] & 0x7F) << 8 | in[1];
    const uint32_t hi = load_be32(in + 2);
    const uint32_t lo = load_be32(in + 6);
    double value = 0;
    if (e == 0 && hi == 0 && lo == 0)
        value = 0;
    else if (e == 0x7FFF)
        value = HUGE_VAL;
    else  // the 64-bit mantissa rounded once, to double
        value = in_double(std::ldexp(static_cast<double>(hi), e - 16383 - 31) + std::ldexp(static_cast<double>(lo), e - 16383 - 63));
    return (in[0] & 0x80) != 0 ? -value : value;
}

int read_aiff_header(FILE* stream, audio_header* header)
{
    // The first identifier is what the SUN reader consumed.
    if (probe_fill < 4)
        return AIFF_NOT_MINE;
    std::array<unsigned char, 4> first{};
    std::memcpy(first.data(), probe_bytes, first.size());
    std::array<unsigned char, 4> size{};
    const size_t got = probe_read(stream, size.data(), size.size());
    if (get_chunk_type(first.data()) != FORM_CHUNK)
        return AIFF_NOT_MINE;
    if (got < size.size())
        return broken("file ends inside the FORM header");
    std::array<unsigned char, 4> form_type{};
    if (probe_read(stream, form_type.data(), form_type.size()) < form_type.size())
        return broken("file ends inside the FORM header");

    aiff_scan scan;
    scan.form = form_of(form_type.data());
    if (scan.form == 0)
        return AIFF_NOT_MINE;
    scan.position = static_cast<uint64_t>(probe_fill);

    // From here on the file is AIFF or AIFC: a fault is named, not passed on
    // to the other readers.
    bool may_pad = false;  // the previous chunk had odd length
    bool scanned = false;
    while (!scanned) {
        std::array<unsigned char, 8> chunk{};
        if (!read_chunk_header(stream, may_pad, chunk.data(), scan.position))
            return broken("file ends before the SSND chunk");
        const uint32_t chunk_size = load_be32(&chunk[4]);
        const uint64_t before = scan.position;
        int status = 0;
        switch (get_chunk_type(chunk.data())) {
        case -1:
            if (!printable_chunk_id(chunk.data())) {
                std::fprintf(stderr, "get_chunk_type: %s not recognized\n", chunk_text(chunk.data()).text);
                return AIFF_BROKEN;
            }
            // A chunk of another program's (ID3 , minf, elm1, ...).
            status = skip_chunk_bytes(stream, chunk_size, scan, "file ends before the SSND chunk");
            break;
        case FORM_CHUNK: {
            std::array<unsigned char, 4> inner{};
            if (!read_exact(stream, inner.data(), inner.size()))
                return broken("file ends inside the FORM header");
            scan.position += inner.size();
            scan.form = form_of(inner.data());
            if (scan.form == 0) {
                std::fprintf(stderr, "aiff: form type %s not supported\n", chunk_text(inner.data()).text);
                return AIFF_BROKEN;
            }
            break;
        }
        case COMM_CHUNK:
            status = read_comm_chunk(stream, chunk_size, scan);
            break;
        case COMT_CHUNK:
            status = read_comt_chunk(stream, chunk_size, scan);
            break;
        case SSND_CHUNK: {
            if (!scan.comm_seen)
                return broken("SSND chunk before COMM chunk");
            std::array<unsigned char, 8> ssnd{};
            if (!read_exact(stream, ssnd.data(), ssnd.size()))
                return broken("file ends inside the SSND chunk");
            scan.position += ssnd.size();
            scan.ssnd_size = chunk_size;
            scan.ssnd_offset = load_be32(&ssnd[0]);
            status = skip_chunk_bytes(stream, scan.ssnd_offset, scan, "file ends inside the SSND chunk");
            scanned = true;
            break;
        }
        default:
            status = skip_chunk_bytes(stream, chunk_size, scan, "file ends before the SSND chunk");
            break;
        }
        if (status != 0)
            return status;
        may_pad = (scan.position - before) % 2 != 0;
    }
    const int type = type_for_bits(scan.form, scan.bits);
    if (type < 0) {
        std::fprintf(stderr, scan.form == AUDIO_AIFF ? "aiff format samplesize: %d not supported\n"
                                                     : "aifc format samplesize: %d not supported\n",
                     scan.bits);
        return AIFF_BROKEN;
    }
    if (scan.position > static_cast<uint64_t>(INT32_MAX))
        return broken("samples begin beyond 2 GiB");

    header->type = type;
    std::memcpy(header->comment, scan.comment.data(), scan.comment.size());
    header->data_offset = static_cast<int32_t>(scan.position);
    header->channels = scan.channels;
    header->sfreq = scan.sfreq;
    if (header->channels > 0)
        take_data_size(stream, header, stated_bytes(scan, type));
    else  // no frames to read; the count is kept as it stands
        take_frame_count(stream, header, size_unstated(scan.frames) ? 0 : int64_t{scan.frames});
    set_reader_defaults(header);
    return 0;
}

int write_aiff_header(FILE* stream, const audio_header* header)
{
    // The family codes and anything unexpected get the 16-bit layout of
    // their form, the samples the frame functions store for them.
    const int type = header->type;
    const bool aifc = type >= AUDIO_AIFC && type <= AUDIO_AIFC_32;
    int bytes = 2;
    if (type >= AUDIO_AIFF_8 && type <= AUDIO_AIFF_32)
        bytes = type - AUDIO_AIFF;
    else if (type >= AUDIO_AIFC_8 && type <= AUDIO_AIFC_32)
        bytes = type - AUDIO_AIFC;

    const auto channels = static_cast<uint32_t>(header->channels);
    // Beyond 32 bits every size saturates alike; a bound keeps the sums below
    // from wrapping.
    const uint64_t data = std::min<uint64_t>(data_bytes(header->frames, bytes, header->channels), uint64_t{1} << 40);
    const size_t comment_length = strnlen(header->comment, COMMENT_MAX);
    const uint64_t comt_size = comment_length == 0 ? 0 : comment_length + 10 + comment_length % 2;
    const uint32_t comm_size = aifc ? AIFC_COMM_SIZE : AIFF_COMM_SIZE;
    const uint64_t form_size = comm_size + (data + 8) + 20 + (aifc ? 12 : 0) + (comment_length == 0 ? 0 : comt_size + 8);

    std::array<unsigned char, AIFF_HEADER_MAX> out{};
    size_t n = 0;
    auto put_id = [&](const char* id) { std::memcpy(&out[n], id, 4); n += 4; };
    auto put32 = [&](uint32_t v) { store_be32(&out[n], v); n += 4; };
    auto put16 = [&](uint32_t v) { store_be16(&out[n], v); n += 2; };

    put_id("FORM");
    put32(saturate_u32(form_size));  // sizes beyond 32 bits say "to the end"
    put_id(aifc ? "AIFC" : "AIFF");
    if (aifc) {
        put_id("FVER");
        put32(4);
        put32(AIFC_VERSION_1);
    }
    put_id("COMM");
    put32(comm_size);
    put16(channels & 0xFFFF);
    put32(saturate_u32(static_cast<uint64_t>(std::max<int64_t>(header->frames, 0))));
    put16(static_cast<uint32_t>(8 * bytes));
    double_to_extended(static_cast<double>(header->sfreq), &out[n]);
    n += 10;
    if (aifc) {
        put_id("NONE");
        std::memcpy(&out[n], not_compressed.bytes.data(), not_compressed.length);
        n += not_compressed.length;
    }
    if (comment_length > 0) {
        put_id("COMT");
        put32(static_cast<uint32_t>(comt_size));
        put16(1);
        put32(0);
        put16(0);
        put16(static_cast<uint32_t>(comment_length));
        std::memcpy(&out[n], header->comment, comment_length);
        n += comment_length + comment_length % 2;  // the pad byte is already zero
    }
    put_id("SSND");
    put32(saturate_u32(data + 8));
    put32(0);
    put32(0);
    std::fwrite(out.data(), 1, n, stream);
    return 0;
}
