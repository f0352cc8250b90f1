#include "framesnip.h"

#include "bitstream.h"
#include "option.h"

#include <array>
#include <cinttypes>

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

constexpr int frame_length(int version, int layer, int bitrate, int sfreq, int padding)
{
    if (layer == 1)
        return (12 * bitrate / sfreq + padding) * 4;
    if (layer == 3 && version == 0)
        return 72 * bitrate / sfreq + padding;
    return 144 * bitrate / sfreq + padding;
}

// The longest frame any valid header describes must fit in the reader's
// buffer behind the bytes it keeps.
constexpr int longest_frame()
{
    int longest = 0;
    for (int version = 0; version < 2; ++version)
        for (int layer = 1; layer <= 3; ++layer)
            for (int index = 1; index < 15; ++index)
                for (int sfreq : SAMPLING_FREQUENCIES) {
                    const int hz = version == 0 ? sfreq / 2 : sfreq;
                    const int length = frame_length(version, layer, BITRATES[static_cast<size_t>(version)]
                                                                             [static_cast<size_t>(layer - 1)]
                                                                             [static_cast<size_t>(index)],
                                                    hz, 1);
                    longest = length > longest ? length : longest;
                }
    return longest;
}
static_assert(longest_frame() == 1729);
static_assert(longest_frame() <= static_cast<int>(MAX_FRAME_BYTES));

// An ID3v2 tag, as most MP3 files begin: "ID3", two version bytes (never
// 0xFF), a flags byte, and the size of what follows the 10-byte header in
// four bytes of seven bits each; the footer flag adds a 10-byte footer.  Its
// text (UTF-16 begins FF FE) and pictures hold bytes that pass for a sync,
// so the tag is passed over by its own size, not searched.
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

// Passes over the ID3v2 tags at the start of the input.  False when nothing
// follows them.
bool pass_id3v2_tags(cut_run& run)
{
    for (;;) {
        size_t got = 0;
        const unsigned char* head = peek_input(run, ID3V2_HEADER_BYTES, got);
        const uint64_t length = got == ID3V2_HEADER_BYTES ? id3v2_tag_length(head) : 0;
        if (length == 0)
            return true;
        if (!pass_input(run, length))
            return false;
    }
}

// An ID3v1 tag: the last 128 bytes of a file, beginning "TAG".
constexpr input_trailer ID3V1_TAG{"TAG", 128};

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

// The scan loop.  Returns 0 when the input ended or the fast stop came,
// 1 when the run stopped on an error (the closing steps are skipped then).
int scan_frames(cut_run& run, bool verbose)
{
    stream_reference reference;
    if (!pass_id3v2_tags(run))
        return 0;
    while (find_sync(run, 0xFF, &ID3V1_TAG)) {
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
    header.version = (bytes[1] >> 3) & 1;
    header.layer_code = (bytes[1] >> 1) & 3;
    header.bitrate_index = bytes[2] >> 4;
    header.sfreq_index = (bytes[2] >> 2) & 3;
    header.padding = (bytes[2] >> 1) & 1;
    return header;
}

int mpeg_layer(const mpeg_header& header) { return 4 - header.layer_code; }

int mpeg_bitrate(const mpeg_header& header)
{
    if (header.layer_code == 0 || header.bitrate_index >= 15)
        return 0;
    return BITRATES[static_cast<size_t>(header.version)][static_cast<size_t>(mpeg_layer(header) - 1)]
                   [static_cast<size_t>(header.bitrate_index)];
}

int mpeg_sampling_frequency(const mpeg_header& header)
{
    if (header.sfreq_index >= 3)
        return 0;
    const int hz = SAMPLING_FREQUENCIES[static_cast<size_t>(header.sfreq_index)];
    return header.version == 0 ? hz / 2 : hz;
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
    return run_cut(PROGRAM, settings.cut, streams, [&settings](cut_run& run) { return scan_frames(run, settings.verbose); });
}
