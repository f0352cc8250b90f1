#include "framesnip.h"

#include "bitstream.h"
#include "option.h"

#include <array>
#include <cinttypes>
#include <cstring>

namespace {

constexpr const char* PROGRAM = "framesnip";

// Bitrates in bit/s by version (0, 1), layer (I, II, III) and index 0..14.
constexpr std::array<std::array<std::array<int, 15>, 3>, 2> BITRATES{{
    {{
        {0, 32000, 48000, 56000, 64000, 80000, 96000, 112000, 128000, 144000, 160000, 176000, 192000, 224000, 256000},
        {0, 8000, 16000, 24000, 32000, 40000, 48000, 56000, 64000, 80000, 96000, 112000, 128000, 144000, 160000},
        {0, 8000, 16000, 24000, 32000, 40000, 48000, 56000, 64000, 80000, 96000, 112000, 128000, 144000, 160000},
    }},
    {{
        {0, 32000, 64000, 96000, 128000, 160000, 192000, 224000, 256000, 288000, 320000, 352000, 384000, 416000,
         448000},
        {0, 32000, 48000, 56000, 64000, 80000, 96000, 112000, 128000, 160000, 192000, 224000, 256000, 320000, 384000},
        {0, 32000, 40000, 48000, 56000, 64000, 80000, 96000, 112000, 128000, 160000, 192000, 224000, 256000, 320000},
    }},
}};

constexpr std::array<int, 3> SAMPLING_FREQUENCIES{44100, 48000, 32000};

// MPEG-2.5 has a quarter of the MPEG-1 frequencies.
constexpr int sampling_frequency(int version, int index)
{
    const int hz = SAMPLING_FREQUENCIES[static_cast<size_t>(index)];
    return version == 1 ? hz : version == 0 ? hz / 2 : version == MPEG_2_5 ? hz / 4 : 0;
}

constexpr int frame_length(int version, int layer, int bitrate, int sfreq, int padding)
{
    if (layer == 1)
        return (12 * bitrate / sfreq + padding) * 4;
    if (layer == 3 && version != 1)
        return 72 * bitrate / sfreq + padding;
    return 144 * bitrate / sfreq + padding;
}

// The longest frame any valid header describes must fit in the reader's
// buffer behind the bytes it keeps.
constexpr int longest_frame()
{
    int longest = 0;
    for (int version : {0, 1, MPEG_2_5})
        for (int layer = 1; layer <= 3; ++layer)
            for (int index = 1; index < 15; ++index)
                for (int sfreq = 0; sfreq < 3; ++sfreq) {
                    const int length = frame_length(version, layer, BITRATES[version == 1 ? 1 : 0]
                                                                             [static_cast<size_t>(layer - 1)]
                                                                             [static_cast<size_t>(index)],
                                                    sampling_frequency(version, sfreq), 1);
                    longest = length > longest ? length : longest;
                }
    return longest;
}
static_assert(longest_frame() == 2881);
static_assert(longest_frame() <= static_cast<int>(MAX_FRAME_BYTES));

// Tags are passed over by the sizes they state, never searched: their text
// (UTF-16 begins FF FE) and pictures hold bytes that pass for a sync.
//
// An ID3v2 tag, as most MP3 files begin: "ID3", two version bytes (never
// 0xFF), a flags byte, and the size of what follows the 10-byte header in
// four bytes of seven bits each; the footer flag adds a 10-byte footer.
constexpr size_t ID3V2_HEADER_BYTES = 10;
constexpr unsigned ID3V2_FOOTER_FLAG = 0x10;

// The tag's length in bytes when the bytes begin one, else 0.
uint64_t id3v2_tag_length(const unsigned char* h)
{
    if (h[0] != 'I' || h[1] != 'D' || h[2] != '3' || h[3] == 0xFF || h[4] == 0xFF ||
        ((h[6] | h[7] | h[8] | h[9]) & 0x80) != 0)
        return 0;
    const uint64_t size = uint64_t{h[6]} << 21 | uint64_t{h[7]} << 14 | uint64_t{h[8]} << 7 | h[9];
    return ID3V2_HEADER_BYTES + size + ((h[5] & ID3V2_FOOTER_FLAG) != 0 ? ID3V2_HEADER_BYTES : 0);
}

// An APE tag has a 32-byte header, a footer or both: "APETAGEX", the
// version 1000 or 2000, then little-endian the size of the items and the
// footer, the item count and the flags.
constexpr size_t APE_BYTES = 32;
constexpr uint32_t APE_HAS_HEADER = 1u << 31;
constexpr uint32_t APE_IS_HEADER = 1u << 29;

uint32_t load_le32(const unsigned char* p)
{
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// Whether the 32 bytes are an APE header (or else footer).
bool is_ape(const unsigned char* p, bool header)
{
    const uint32_t version = load_le32(p + 8);
    return std::memcmp(p, "APETAGEX", 8) == 0 && (version == 1000 || version == 2000) &&
           ((load_le32(p + 20) & APE_IS_HEADER) != 0) == header;
}

// An ID3v1 tag: 128 bytes beginning "TAG", behind everything else.
constexpr size_t ID3V1_BYTES = 128;

// A Lyrics3v2 block: "LYRICSBEGIN" ..., then its size up to there in six
// digits, then "LYRICS200".
constexpr size_t LYRICS_END_BYTES = 15;

// The block's length from its last 15 bytes, 0 when they end none.
uint64_t lyrics3v2_length(const unsigned char* end)
{
    if (std::memcmp(end + 6, "LYRICS200", 9) != 0)
        return 0;
    uint64_t size = 0;
    for (size_t i = 0; i < 6; ++i) {
        if (end[i] < '0' || end[i] > '9')
            return 0;
        size = size * 10 + (end[i] - '0');
    }
    return size + LYRICS_END_BYTES;
}

// The tags that begin where a frame could: ID3v2 and APE with a header.  An
// ID3v1 tag ends a file, so between frames it is taken only where files were
// joined: followed by the end of the input, a frame or a tag.
uint64_t tag_length(const unsigned char* bytes, size_t count)
{
    if (count >= ID3V2_HEADER_BYTES && id3v2_tag_length(bytes) > 0)
        return id3v2_tag_length(bytes);
    if (count >= APE_BYTES && is_ape(bytes, true))
        return APE_BYTES + load_le32(bytes + 12);
    if (count >= ID3V1_BYTES && std::memcmp(bytes, "TAG", 3) == 0) {
        const unsigned char* next = bytes + ID3V1_BYTES;
        const size_t rest = count - ID3V1_BYTES;
        if (rest == 0 || (rest >= 2 && next[0] == 0xFF && (next[1] & 0xE0) == 0xE0) || tag_length(next, rest) > 0)
            return ID3V1_BYTES;
    }
    return 0;
}

// The tags that end a file, in any order: ID3v1, APE with a footer (and a
// header or not), Lyrics3v2.
uint64_t trailing_tags_length(const input_window& input)
{
    uint64_t end = input.size;
    for (;;) {
        std::array<unsigned char, APE_BYTES> b{};
        if (end >= APE_BYTES && read_window(input, end - APE_BYTES, b.data(), APE_BYTES) && is_ape(b.data(), false)) {
            uint64_t length = load_le32(b.data() + 12);
            const bool header = (load_le32(b.data() + 20) & APE_HAS_HEADER) != 0;
            if (length >= APE_BYTES && length <= end) {
                if (header && length + APE_BYTES <= end &&
                    read_window(input, end - length - APE_BYTES, b.data(), APE_BYTES) && is_ape(b.data(), true))
                    length += APE_BYTES;
                end -= length;
                continue;
            }
        }
        if (end >= LYRICS_END_BYTES && read_window(input, end - LYRICS_END_BYTES, b.data(), LYRICS_END_BYTES)) {
            const uint64_t length = lyrics3v2_length(b.data());
            if (length > 0 && length <= end && read_window(input, end - length, b.data(), 11) &&
                std::memcmp(b.data(), "LYRICSBEGIN", 11) == 0) {
                end -= length;
                continue;
            }
        }
        if (end >= ID3V1_BYTES && read_window(input, end - ID3V1_BYTES, b.data(), 3) &&
            std::memcmp(b.data(), "TAG", 3) == 0) {
            end -= ID3V1_BYTES;
            continue;
        }
        return input.size - end;
    }
}

// An ID3v1 tag needs what follows it in view.
constexpr tag_rules MPEG_TAGS{tag_length, ID3V1_BYTES + APE_BYTES, trailing_tags_length};

// The frame's references: set by frame 0, replaced on a change with -v.
struct stream_reference {
    int version = 0;
    int layer = 0;
    int sfreq = 0;
};

// A failed header check: with -v the message goes to the log and the scan
// goes on (true); without, it goes to the error stream and the run stops.
bool report_header_error(const cut_run& run, bool verbose, const char* what, unsigned byte)
{
    std::fprintf(verbose ? run.io.log : run.io.err, "Error: %s in frame: %8" PRId64 " at pos: %10" PRId64 " byte: %2x\n",
                 what, run.frame, run.position, byte);
    std::fflush(verbose ? run.io.log : run.io.err);
    return verbose;
}

// Checks a good frame against the references.  Returns false when the run
// must stop.
bool compare_reference(const cut_run& run, bool verbose, stream_reference& reference, const stream_reference& found)
{
    FILE* log = run.io.log;
    if (found.version != reference.version) {
        if (!verbose) {
            std::fprintf(run.io.err, "Error: decoded version change.\n");
            return false;
        }
        std::fprintf(log, "Error: decoded version change %d -> %d.\n", reference.version, found.version);
        reference.version = found.version;
    }
    if (found.layer != reference.layer) {
        std::fprintf(log, "Warning: decoded layer changed from %d to %d.\n", reference.layer, found.layer);
        reference.layer = found.layer;
    }
    if (found.sfreq != reference.sfreq) {
        if (!verbose) {
            std::fprintf(run.io.err, "Error: decoded sampl. freq. change.\n");
            return false;
        }
        std::fprintf(log, "Error: decoded sampl. freq. change %d -> %d.\n", reference.sfreq, found.sfreq);
        reference.sfreq = found.sfreq;
    }
    std::fflush(log);
    return true;
}

// MPEG-1 and MPEG-2 frames begin with twelve ones, MPEG-2.5 frames with
// eleven ones and the version bits 00; a stream is cut by frames of the kind
// it begins with, so before the first frame either kind is looked for.
constexpr sync_pair MPEG_SYNC{0xFF, 0xF0, 0xF0};
constexpr sync_pair MPEG_2_5_SYNC{0xFF, 0xF8, 0xE0};
constexpr sync_pair FIRST_SYNC{0xFF, 0xE0, 0xE0};

// Whether a good MPEG-2.5 frame begins at the pair with another of its layer
// and sampling frequency right behind it: eleven ones are common in other
// bytes.
bool mpeg_2_5_stream_at(cut_run& run)
{
    size_t got = 0;
    const unsigned char* bytes = peek_bytes(run.reader, 2, 4, got);
    if (got < 4)
        return false;
    const mpeg_header first = decode_mpeg_header(bytes);
    const auto length = static_cast<size_t>(first.version == MPEG_2_5 ? mpeg_frame_length(first) : 0);
    if (length == 0)
        return false;
    bytes = peek_bytes(run.reader, 2, length + 4, got);
    if (got < length + 4)
        return false;
    const unsigned char* next = bytes + length;
    const mpeg_header second = decode_mpeg_header(next);
    return next[0] == 0xFF && (next[1] & MPEG_2_5_SYNC.mask) == MPEG_2_5_SYNC.value &&
           second.layer_code == first.layer_code && second.sfreq_index == first.sfreq_index &&
           mpeg_frame_length(second) > 0;
}

// The scan loop.  Returns 0 when the input ended or the fast stop came,
// 1 when the run stopped on an error (the closing steps are skipped then).
int scan_frames(cut_run& run, bool verbose)
{
    stream_reference reference;
    while (find_sync(run, run.frame < 0 ? FIRST_SYNC : reference.version == MPEG_2_5 ? MPEG_2_5_SYNC : MPEG_SYNC)) {
        if (run.frame < 0 && (run.current & 0x10) == 0 && !mpeg_2_5_stream_at(run)) {
            if (!pass_stray_byte(run))
                return 0;
            continue;
        }
        ++run.frame;
        const bool wanted = in_range(run, run.frame);
        size_t got = 0;
        const unsigned char* bytes = take_bytes(run.reader, 2, 2, got);
        if (got < 2) {
            // Too little is left to check: these bytes are no frame.
            log_short_frame_line(run.io.log, run.frame, run.position, 2 + got, 0);
            --run.frame;
            run.position += static_cast<int64_t>(2 + got);
            break;
        }
        const mpeg_header header = decode_mpeg_header(bytes);
        bool valid = true;
        if (header.layer_code == 0) {
            if (!report_header_error(run, verbose, "Illegal layer (0)", bytes[3]))
                return 1;
            valid = false;
        }
        if (header.bitrate_index == 0 || header.bitrate_index == 15) {
            if (!report_header_error(run, verbose, "Illegal bit_rate index (0 or 15)", bytes[3]))
                return 1;
            valid = false;
        }
        if (header.sfreq_index == 3) {
            if (!report_header_error(run, verbose, "reserved sampling rate", bytes[3]))
                return 1;
            valid = false;
        }
        const stream_reference found{header.version, mpeg_layer(header), mpeg_sampling_frequency(header)};
        if (!valid) {
            --run.frame;  // the next frame found takes this number
        } else if (run.frame == 0) {
            reference = found;
            std::fprintf(run.io.log, "MPEG bitstream: version: %d layer: %d sampl. freq. = %d\n", found.version,
                         found.layer, found.sfreq);
            std::fflush(run.io.log);
        } else if (!compare_reference(run, verbose, reference, found)) {
            return 1;
        }
        if (run.settings.fast && run.frame >= run.settings.end)
            return 0;
        if (!valid) {
            if (!next_pair(run, 4))
                return 0;
            continue;
        }

        const size_t length = static_cast<size_t>(mpeg_frame_length(header));
        bytes = take_bytes(run.reader, 4, length - 4, got);
        const size_t have = 4 + got;
        if (have < length)
            log_short_frame_line(run.io.log, run.frame, run.position, have, length);
        if (wanted) {
            if (run.settings.log_frames)
                log_frame_line(run.io.log, run.frame, run.position, have, run.settings.unique,
                               run.settings.unique ? frame_hash(bytes, have) : 0);
            if (!write_frame(run, bytes, have))
                return 1;
            ++run.copied;
        }
        if (!next_pair(run, static_cast<int64_t>(have)))
            return 0;
    }
    return 0;
}

}  // namespace

mpeg_header decode_mpeg_header(const unsigned char* bytes)
{
    mpeg_header header;
    const int version_bits = (bytes[1] >> 3) & 3;
    header.version = version_bits == 0 ? MPEG_2_5 : version_bits == 1 ? MPEG_RESERVED : version_bits & 1;
    header.layer_code = (bytes[1] >> 1) & 3;
    header.bitrate_index = bytes[2] >> 4;
    header.sfreq_index = (bytes[2] >> 2) & 3;
    header.padding = (bytes[2] >> 1) & 1;
    return header;
}

int mpeg_layer(const mpeg_header& header) { return 4 - header.layer_code; }

int mpeg_bitrate(const mpeg_header& header)
{
    if (header.layer_code == 0 || header.bitrate_index >= 15 || header.version == MPEG_RESERVED)
        return 0;
    // MPEG-2.5 has the rows of MPEG-2.
    return BITRATES[header.version == 1 ? 1 : 0][static_cast<size_t>(mpeg_layer(header) - 1)]
                   [static_cast<size_t>(header.bitrate_index)];
}

int mpeg_sampling_frequency(const mpeg_header& header)
{
    return header.sfreq_index >= 3 ? 0 : sampling_frequency(header.version, header.sfreq_index);
}

int mpeg_frame_length(const mpeg_header& header)
{
    const int bitrate = mpeg_bitrate(header);
    const int sfreq = mpeg_sampling_frequency(header);
    if (bitrate == 0 || sfreq == 0)
        return 0;
    return frame_length(header.version, mpeg_layer(header), bitrate, sfreq, header.padding);
}

void framesnip_usage()
{
    std::fprintf(stderr, "\nUsage:\n");
    std::fprintf(stderr, "framesnip [-a] add ADC bitstream header\n");
    std::fprintf(stderr, "                   [-b first frame number of cut]\n");
    std::fprintf(stderr, "                   [-e last frame number of cut]\n");
    std::fprintf(stderr, "                   [-F] Fast, stops after range\n");
    std::fprintf(stderr, "                   [-h] prints this message\n");
    std::fprintf(stderr, "                   [-i inputfile]\n");
    std::fprintf(stderr, "                   [-l] prints frame sizes\n");
    std::fprintf(stderr, "                   [-o outputfile]\n");
    std::fprintf(stderr, "                   [-u] unique number per frame in logging mode\n");
    std::fprintf(stderr, "                   [-v] do not stop at the first error\n");
}

int framesnip_options(int argc, char* argv[], framesnip_settings& settings)
{
    int c;
    while ((c = get_option(argc, argv, "b:e:i:o:Fahluv")) != -1) {
        switch (c) {
        case 'v': settings.verbose = true; break;
        case 'h':
            framesnip_usage();
            return 0;
        default:
            if (cut_option(c, option_argument, settings.cut))
                break;
            framesnip_usage();
            return 1;
        }
    }
    return -1;
}

int framesnip_cut(const framesnip_settings& settings, const cut_streams& streams)
{
    return run_cut(PROGRAM, settings.cut, streams, &MPEG_TAGS,
                   [&settings](cut_run& run) { return scan_frames(run, settings.verbose); });
}
