// The burst scanner: the sample bytes as one row of 16-bit words, searched
// for the two sync words without regard to sample frames; each burst found
// is decoded, selected or passed over, and its payload handed on in stream
// byte order.
#include "burstpick.h"

#include "audiofile.h"
#include "bitstream.h"

#include <array>
#include <cstring>
#include <memory>
#include <new>

namespace {

// Input is read in blocks of this size; a burst (at most 8 + 65536 bytes)
// always fits behind the bytes carried over from the previous block.
constexpr size_t READ_BLOCK = 1 << 20;
constexpr size_t MAX_BURST_BYTES = BURST_PREAMBLE_BYTES + MAX_PAYLOAD_BYTES;
static_assert((MAX_BURST_BYTES & 1) == 0);
static_assert((65535 + 1) / 2 * 2 <= MAX_PAYLOAD_BYTES);

struct byte_source {
    FILE* stream = nullptr;
    std::unique_ptr<unsigned char[]> data;
    size_t capacity = 0;
    size_t begin = 0;  // next unexamined byte; always at a word boundary
    size_t end = 0;    // end of the bytes read
    uint64_t base = 0; // offset of data[0] from the first sample byte
    int64_t left = -1; // bytes of sample data not yet read; negative: to the end of the stream
    bool at_end = false;
};

// Makes n bytes available from begin unless the stream ends first, and
// returns how many are.  Moves what is left to the front before reading:
// begin stays even because every position examined is a word start.
size_t available(byte_source& s, size_t n)
{
    if (s.end - s.begin >= n || s.at_end)
        return s.end - s.begin;
    if (s.begin > 0) {
        std::memmove(s.data.get(), s.data.get() + s.begin, s.end - s.begin);
        s.base += s.begin;
        s.end -= s.begin;
        s.begin = 0;
    }
    while (s.end - s.begin < n && !s.at_end) {
        // Whole pages, so that the stream reads straight into our buffer.
        size_t wanted = (s.capacity - s.end) & ~size_t{4095};
        if (wanted == 0)
            break;  // cannot happen: at most one burst is carried over
        // Bytes after the sample data (a chunk, a tag) are no words.
        if (s.left >= 0 && static_cast<uint64_t>(s.left) < wanted)
            wanted = static_cast<size_t>(s.left);
        const size_t got = read_audio_bytes(s.stream, s.data.get() + s.end, wanted);
        s.end += got;
        if (s.left >= 0)
            s.left -= static_cast<int64_t>(got);
        if (got < wanted || s.left == 0)
            s.at_end = true;  // a short read comes only at the end or on an error
    }
    return s.end - s.begin;
}

// Moves begin to the next Pa that is followed by Pb (both as they stand in
// the file for the input's byte order).  False when the input ends first.
bool find_sync(byte_source& s, const std::array<unsigned char, 4>& sync)
{
    for (;;) {
        if (available(s, sync.size()) < sync.size())
            return false;
        const unsigned char* data = s.data.get();
        const size_t last = s.end - sync.size();  // last start of a whole pattern
        size_t p = s.begin;
        while (p <= last) {
            const void* hit = std::memchr(data + p, sync[0], last + 1 - p);
            if (hit == nullptr)
                break;
            const auto q = static_cast<size_t>(static_cast<const unsigned char*>(hit) - data);
            if ((q & 1) != 0) {
                p = q + 1;  // inside a word, not at its start
                continue;
            }
            if (data[q + 1] == sync[1] && data[q + 2] == sync[2] && data[q + 3] == sync[3]) {
                s.begin = q;
                return true;
            }
            p = q + 2;
        }
        s.begin = (last + 2) & ~size_t{1};  // first word start not yet examined
    }
}

uint16_t load_word(const unsigned char* bytes, word_order order)
{
    return order == word_order::big_endian ? static_cast<uint16_t>(bytes[0] << 8 | bytes[1])
                                           : static_cast<uint16_t>(bytes[1] << 8 | bytes[0]);
}

// The payload in stream byte order: the high byte of every word first.
void copy_payload(const unsigned char* src, size_t bytes, word_order order, unsigned char* dst)
{
    if (order == word_order::big_endian) {
        std::memcpy(dst, src, bytes);
        return;
    }
    for (size_t i = 0; i + 1 < bytes; i += 2) {
        dst[i] = src[i + 1];
        dst[i + 1] = src[i];
    }
}

using extras = report_extras;
using form = payload_form;

// The data types of IEC 61937, by number.  The empty rows (and 23 on) are
// types of streams not carried here: selected bursts of them are written as
// they stand, but no kernel names their file.
constexpr std::array<data_type_info, DATA_TYPES> data_types = {{
    /*  0 */ {"null data", nullptr, false, false, extras::none, form::whole},
    /*  1 */ {"AC-3", ".ac3", true, false, extras::bsmod, form::whole},
    /*  2 */ {nullptr, ".tc", false, false, extras::none, form::whole},
    /*  3 */ {"pause", nullptr, false, false, extras::none, form::whole},
    /*  4 */ {"MPEG-1 layer 1", ".mpg", true, false, extras::mpeg_flags, form::whole},
    /*  5 */ {"MPEG-1 layer 2 or 3, MPEG-2 without extension", ".mpg", true, false, extras::mpeg_flags, form::whole},
    /*  6 */ {"MPEG-2 with extension", ".mpg", true, false, extras::mpeg_flags, form::mpeg_extension},
    /*  7 */ {"MPEG-2 AAC", ".aac", true, false, extras::none, form::adts_frames},
    /*  8 */ {"MPEG-2 layer 1, low sampling frequency", ".mpg", true, false, extras::mpeg_flags, form::whole},
    /*  9 */ {"MPEG-2 layer 2, low sampling frequency", ".mpg", true, false, extras::mpeg_flags, form::whole},
    /* 10 */ {"MPEG-2 layer 3, low sampling frequency", ".mpg", true, false, extras::mpeg_flags, form::whole},
    /* 11 */ {"DTS type I", ".dts", true, false, extras::none, form::whole},
    /* 12 */ {"DTS type II", ".dts", true, false, extras::none, form::whole},
    /* 13 */ {"DTS type III", ".dts", true, false, extras::none, form::whole},
    /* 14 */ {},
    /* 15 */ {},
    /* 16 */ {},
    /* 17 */ {"DTS type IV", ".dts", true, true, extras::none, form::dts_type_iv},
    /* 18 */ {},
    /* 19 */ {"MPEG-2 AAC, low sampling frequency", ".aac", true, false, extras::none, form::adts_frames},
    /* 20 */ {"AAC", ".aac", true, false, extras::none, form::adts_frames},
    /* 21 */ {"E-AC-3", ".eac3", true, true, extras::none, form::whole},
    /* 22 */ {"MAT (Dolby TrueHD)", ".thd", true, true, extras::none, form::mat_frame},
}};
static_assert(data_types[TYPE_MPEG2_EXT].form == form::mpeg_extension && data_types[22].form == form::mat_frame &&
              data_types[23].kernel_extension == nullptr);

constexpr data_type_info no_data_type{};

}  // namespace

const data_type_info& data_type_of(int type)
{
    return type >= 0 && type < DATA_TYPES ? data_types[static_cast<size_t>(type)] : no_data_type;
}

bool pause_accepted(int stream_type)
{
    return stream_type == -1 || data_type_of(stream_type).pause_accepted;  // -1: no stream yet
}

const char* kernel_extension(int burst_type) { return data_type_of(burst_type).kernel_extension; }

burst_preamble decode_preamble(uint16_t pc, uint16_t pd, int forced_type)
{
    burst_preamble b;
    b.data_type = pc & 0x1F;
    b.error_flag = (pc >> 7 & 1) != 0;
    b.type_info = pc >> 8 & 7;
    b.karaoke_flag = (pc >> 8 & 1) != 0;
    b.drc_flag = (pc >> 9 & 1) != 0;
    b.bitstream_number = pc >> 13 & 7;
    b.burst_type = forced_type != -1 ? forced_type : b.data_type;
    b.length_code = pd;
    // The unit is a property of the data as the sender packed it, so the
    // burst's own data type decides it, whatever -T makes of the burst.
    b.payload_bytes = data_type_of(b.data_type).length_in_bytes ? pd : (pd + 7) / 8;
    b.payload_words = (b.payload_bytes + 1) / 2;
    return b;
}

int scan_bursts(FILE* input, word_order order, const burst_options& options, burst_outputs& outputs,
                burst_scan& scan, int64_t data_bytes)
{
    byte_source source;
    source.stream = input;
    source.left = data_bytes;
    source.capacity = READ_BLOCK + MAX_BURST_BYTES;
    source.data.reset(new (std::nothrow) unsigned char[source.capacity]);
    if (!source.data) {
        std::fprintf(stderr, "Error allocating the input buffer\n");
        return 1;
    }
    const std::unique_ptr<unsigned char[]> payload(new (std::nothrow) unsigned char[MAX_PAYLOAD_BYTES]);
    if (!payload) {
        std::fprintf(stderr, "Error allocating the payload buffer\n");
        return 1;
    }

    access_units units;

    const std::array<unsigned char, 4> sync =
        order == word_order::big_endian ? std::array<unsigned char, 4>{0xF8, 0x72, 0x4E, 0x1F}
                                        : std::array<unsigned char, 4>{0x72, 0xF8, 0x1F, 0x4E};

    // A burst cut off by the end of the input is treated as absent: it is
    // neither reported nor selected, and the scan ends.
    while (find_sync(source, sync)) {
        if (available(source, BURST_PREAMBLE_BYTES) < BURST_PREAMBLE_BYTES)
            break;
        const unsigned char* at = source.data.get() + source.begin;
        const burst_preamble burst =
            decode_preamble(load_word(at + 4, order), load_word(at + 6, order), options.forced_type);
        const auto payload_size = static_cast<size_t>(2 * burst.payload_words);
        const size_t burst_size = BURST_PREAMBLE_BYTES + payload_size;
        if (available(source, burst_size) < burst_size)
            break;
        at = source.data.get() + source.begin;

        const auto pa = static_cast<int64_t>((source.base + source.begin) / 2);
        scan.word_position = pa + 1;
        const bool discard = options.discard_errors && burst.error_flag;

        if (options.verbose && !options.unique) {
            report_burst(outputs, burst, pa, pa - scan.last_reported_position, false, 0);
            scan.last_reported_position = pa;
        }

        const int type = burst.burst_type;
        const bool selected = burst.bitstream_number == options.stream_number && type != TYPE_PAUSE &&
                              type != TYPE_NULL && !discard &&
                              (options.wanted_type == -1 || options.wanted_type == type) &&
                              type != options.unwanted_type;
        bool write = false;
        if (selected) {
            ++scan.frame_index;
            write = options.first_frame <= scan.frame_index && scan.frame_index < options.end_frame;
            if (scan.frame_index == 0) {
                scan.stream_type = type;
                if (const int status = open_first_outputs(outputs, options, type))
                    return status;
                log_printf(outputs, "IEC-61937 bitstream: type: %d\n", type);
            } else if (type != scan.stream_type) {
                log_printf(outputs, "change of stream type: from: %d to: %d\n", scan.stream_type, type);
                scan.stream_type = type;
                if (type == TYPE_MPEG2_EXT && !options.interleave && !outputs.extension_open)
                    if (const int status = open_extension_output(outputs))
                        return status;
            }
        }

        if (burst.bitstream_number == options.stream_number && type == TYPE_PAUSE &&
            !pause_accepted(scan.stream_type)) {
            std::fprintf(stderr, "pause frames for stream type: %d not supported\n", scan.stream_type);
            return 1;
        }

        copy_payload(at + BURST_PREAMBLE_BYTES, payload_size, order, payload.get());
        source.begin += burst_size;

        if (options.verbose && options.unique) {
            const uint32_t hash = frame_hash(payload.get(), payload_size);
            report_burst(outputs, burst, pa, pa - scan.last_reported_position, true, hash);
            scan.last_reported_position = pa;
        }

        if (selected) {
            if (const int status =
                    deliver_payload(payload.get(), burst, scan.frame_index, write, options, units, outputs))
                return status;
            if (write)
                ++scan.frames_extracted;
        }

        if (scan.frame_index >= options.end_frame)
            break;
        scan.word_position = pa + 4 + burst.payload_words;  // the word after the payload
    }

    if (std::ferror(input)) {
        std::fprintf(stderr, "Error reading inputfile\n");
        return 1;
    }
    return 0;
}
