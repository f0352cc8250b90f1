// The MPEG-2 extension splitter: a burst of type 6 holds an MPEG-1
// compatible base frame directly followed by a multichannel extension frame.
// The base frame's length comes from its header, the extension frame's from
// its own ext_length field; neither is trusted to stay inside the payload.
#include "burstpick.h"

#include <algorithm>
#include <array>

namespace {

// Bit/s by [ID][layer - 1][bitrate index]; index 0 is free format.
constexpr std::array<std::array<std::array<int, 15>, 3>, 2> bitrates = {{
    {{
        // ID 0: lower sampling frequencies
        {0, 32000, 48000, 56000, 64000, 80000, 96000, 112000, 128000, 144000, 160000, 176000, 192000, 224000,
         256000},
        {0, 8000, 16000, 24000, 32000, 40000, 48000, 56000, 64000, 80000, 96000, 112000, 128000, 144000, 160000},
        {0, 8000, 16000, 24000, 32000, 40000, 48000, 56000, 64000, 80000, 96000, 112000, 128000, 144000, 160000},
    }},
    {{
        // ID 1: MPEG-1
        {0, 32000, 64000, 96000, 128000, 160000, 192000, 224000, 256000, 288000, 320000, 352000, 384000, 416000,
         448000},
        {0, 32000, 48000, 56000, 64000, 80000, 96000, 112000, 128000, 160000, 192000, 224000, 256000, 320000,
         384000},
        {0, 32000, 40000, 48000, 56000, 64000, 80000, 96000, 112000, 128000, 160000, 192000, 224000, 256000,
         320000},
    }},
}};

// Hz by [ID][frequency code]: MPEG-2's lower sampling frequencies are half
// the MPEG-1 ones (the MPEG-1 values would make an LSF base frame of layer 1
// or 2 half its length).
constexpr std::array<std::array<int, 3>, 2> frequencies = {{{22050, 24000, 16000}, {44100, 48000, 32000}}};
constexpr int RESERVED_FREQUENCY = 3;

// 144 * 448000 is the largest product formed.
static_assert(144LL * 448000 < 2147483647LL);

}  // namespace

extension_layout extension_layout_of(const unsigned char* payload, int payload_bytes)
{
    extension_layout l;
    if (payload_bytes < 3)
        return l;
    l.header_present = true;
    l.id = payload[1] >> 3 & 1;
    l.layer = 4 - (payload[1] >> 1 & 3);
    l.bitrate_index = payload[2] >> 4;
    l.frequency_code = payload[2] >> 2 & 3;
    l.padding = payload[2] >> 1 & 1;
    // Free format (index 0) states no bitrate, so its length is unknown.
    l.usable = l.layer <= 3 && l.bitrate_index >= 1 && l.bitrate_index <= 14;
    if (!l.usable)
        return l;
    l.bitrate = bitrates[static_cast<size_t>(l.id)][static_cast<size_t>(l.layer - 1)][static_cast<size_t>(l.bitrate_index)];
    if (l.frequency_code == RESERVED_FREQUENCY)
        return l;
    const int frequency = frequencies[static_cast<size_t>(l.id)][static_cast<size_t>(l.frequency_code)];
    // A layer 3 LSF frame holds half the samples: factor 72.
    const int factor = l.layer == 3 && l.id == 0 ? 72 : 144;
    l.b1 = l.layer == 1 ? 4 * (12 * l.bitrate / frequency + l.padding) : factor * l.bitrate / frequency + l.padding;
    if (l.b1 + 5 <= payload_bytes) {
        l.ext_header_present = true;
        l.b2 = (payload[l.b1 + 3] & 0x0F) << 7 | payload[l.b1 + 4] >> 1;
    }
    return l;
}

int split_extension_burst(const unsigned char* payload, int payload_bytes, int64_t frame_index, bool verbose,
                          burst_outputs& outputs)
{
    const extension_layout l = extension_layout_of(payload, payload_bytes);
    if (!l.header_present) {
        log_printf(outputs, "Frame: %6lld no MPEG header in a payload of %d bytes: burst written unsplit\n",
                   static_cast<long long>(frame_index), payload_bytes);
        return write_output(outputs, payload, static_cast<size_t>(payload_bytes));
    }
    if (verbose)
        log_printf(outputs, "Version: %d Layer: %d Br_index: %d", l.id, l.layer, l.bitrate_index);
    if (!l.usable) {
        if (verbose)
            log_printf(outputs, "\n");
        log_printf(outputs, "Frame: %6lld %s: burst written unsplit\n", static_cast<long long>(frame_index),
                   l.layer > 3               ? "reserved layer code"
                   : l.bitrate_index == 0 ? "free format (bitrate index 0), base frame length unknown"
                                             : "forbidden bitrate index");
        return write_output(outputs, payload, static_cast<size_t>(payload_bytes));
    }
    if (verbose)
        log_printf(outputs, " Bitrate: %d", l.bitrate);
    if (l.frequency_code == RESERVED_FREQUENCY) {
        std::fprintf(stderr, "Error: reserved sampling rate.\n");
        return 1;
    }
    if (verbose)
        log_printf(outputs, " b1: %d b2: %d bs: %d\n", l.b1, l.b2, payload_bytes);
    const int ext_from_pd = payload_bytes - l.b1;
    if (l.b2 != ext_from_pd)
        log_printf(outputs, "Frame: %6lld ext_nbytes: %4d calculated from Pd differs from: ext_header: %4d\n",
                   static_cast<long long>(frame_index), ext_from_pd, l.b2);

    const int base = std::min(l.b1, payload_bytes);
    // The extension is as long as its header says, but never longer than
    // what the payload holds.  A header cut off by the end of the payload is
    // no extension: the bytes there are padding (ffmpeg's zero byte after an
    // odd frame), not an extension frame.
    const int held = std::max(payload_bytes - l.b1, 0);
    const int extension = l.ext_header_present ? std::min(held, l.b2) : 0;
    if (const int status = write_output(outputs, payload, static_cast<size_t>(base)))
        return status;
    return write_extension(outputs, payload + base, static_cast<size_t>(extension));
}
