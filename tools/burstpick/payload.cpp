// How a written payload reaches the outputs.  Most data types carry their
// frames as they stand.  IEC 61937 puts a header of its own before a DTS
// type IV frame, and packs TrueHD access units into MAT frames with codes
// and padding between them; neither is any part of the elementary stream,
// which a decoder reads only without them.  An AAC frame of odd length
// gets a pad byte behind it, which AAC decoders take for a broken frame.
#include "burstpick.h"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstring>

namespace {

constexpr int ADTS_HEADER_BYTES = 7;

// The DTS type IV header: a sync code, then the frame's length in bytes.
constexpr std::array<unsigned char, 10> DTS4_SYNC = {0x01, 0, 0, 0, 0, 0, 0, 0, 0xFE, 0xFE};
constexpr int DTS4_HEADER_BYTES = 12;

// A MAT frame: a start code, access units and padding, a middle code at a
// fixed place (a unit may run across it), more units and an end code.
constexpr int MAT_FRAME_BYTES = 61424;
constexpr std::array<unsigned char, 20> MAT_START = {0x07, 0x9E, 0x00, 0x03, 0x84, 0x01, 0x01, 0x01, 0x80, 0x00,
                                                     0x56, 0xA5, 0x3B, 0xF4, 0x81, 0x83, 0x49, 0x80, 0x77, 0xE0};
constexpr int MAT_MIDDLE_AT = 30708;
constexpr std::array<unsigned char, 12> MAT_MIDDLE = {0xC3, 0xC1, 0x42, 0x49, 0x3B, 0xFA,
                                                      0x82, 0x83, 0x49, 0x80, 0x77, 0xE0};
constexpr std::array<unsigned char, 16> MAT_END = {0xC3, 0xC2, 0xC0, 0xC4, 0, 0, 0, 0,
                                                   0,    0,    0,    0,    0, 0, 0x97, 0x11};
constexpr int MAT_END_AT = MAT_FRAME_BYTES - static_cast<int>(MAT_END.size());
static_assert(MAT_FRAME_BYTES <= MAX_PAYLOAD_BYTES);

template <size_t N>
bool holds_at(const unsigned char* payload, int at, const std::array<unsigned char, N>& code)
{
    return std::memcmp(payload + at, code.data(), N) == 0;
}

int log_written_whole(burst_outputs& outputs, int64_t frame_index, const char* missing, const unsigned char* payload,
                      int payload_bytes)
{
    log_printf(outputs, "Frame: %6" PRId64 " no %s: burst written whole\n", frame_index, missing);
    return write_output(outputs, payload, static_cast<size_t>(payload_bytes));
}

// The ADTS frames at the start of the payload, each as long as its header
// says; what follows the last one is padding.
int deliver_adts_frames(const unsigned char* payload, int payload_bytes, int64_t frame_index, burst_outputs& outputs)
{
    int at = 0;
    while (payload_bytes - at >= ADTS_HEADER_BYTES && payload[at] == 0xFF && (payload[at + 1] & 0xF0) == 0xF0) {
        const unsigned char* header = payload + at;
        const int frame = (header[3] & 3) << 11 | header[4] << 3 | header[5] >> 5;
        if (frame < ADTS_HEADER_BYTES || frame > payload_bytes - at)
            break;
        at += frame;
    }
    if (at == 0)
        return log_written_whole(outputs, frame_index, "ADTS header", payload, payload_bytes);
    return write_output(outputs, payload, static_cast<size_t>(at));
}

int deliver_dts_type_iv(const unsigned char* payload, int payload_bytes, int64_t frame_index, burst_outputs& outputs)
{
    if (payload_bytes >= DTS4_HEADER_BYTES && holds_at(payload, 0, DTS4_SYNC)) {
        const int frame = payload[10] << 8 | payload[11];
        if (frame <= payload_bytes - DTS4_HEADER_BYTES)
            return write_output(outputs, payload + DTS4_HEADER_BYTES, static_cast<size_t>(frame));
    }
    return log_written_whole(outputs, frame_index, "DTS type IV header", payload, payload_bytes);
}

// Gathers the access units of one stretch of a MAT frame between its
// codes.  A unit starts with its length in words (low 12 bits of its first
// word); padding is zero words, which no unit can start with.  Every
// stretch and every unit is a whole number of words.
int gather_units(const unsigned char* data, int bytes, bool write, access_units& units, burst_outputs& outputs)
{
    int at = 0;
    while (at + 1 < bytes) {
        if (units.length == 0) {
            units.length = ((data[at] & 0x0F) << 8 | data[at + 1]) * 2;
            units.held = 0;
            units.written = write;
            if (units.length == 0) {
                at += 2;
                continue;
            }
        }
        const int take = std::min(units.length - units.held, bytes - at);
        std::memcpy(units.unit.data() + units.held, data + at, static_cast<size_t>(take));
        units.held += take;
        at += take;
        if (units.held == units.length) {
            units.length = 0;
            if (units.written)
                if (const int status = write_output(outputs, units.unit.data(), static_cast<size_t>(units.held)))
                    return status;
        }
    }
    return 0;
}

int deliver_mat_frame(const unsigned char* payload, int payload_bytes, int64_t frame_index, bool write,
                      access_units& units, burst_outputs& outputs)
{
    if (payload_bytes != MAT_FRAME_BYTES || !holds_at(payload, 0, MAT_START) ||
        !holds_at(payload, MAT_MIDDLE_AT, MAT_MIDDLE) || !holds_at(payload, MAT_END_AT, MAT_END)) {
        units.length = 0;  // a unit left open cannot go on here
        return write ? log_written_whole(outputs, frame_index, "MAT frame codes", payload, payload_bytes) : 0;
    }
    constexpr int first = static_cast<int>(MAT_START.size());
    constexpr int second = MAT_MIDDLE_AT + static_cast<int>(MAT_MIDDLE.size());
    if (const int status = gather_units(payload + first, MAT_MIDDLE_AT - first, write, units, outputs))
        return status;
    return gather_units(payload + second, MAT_END_AT - second, write, units, outputs);
}

}  // namespace

int deliver_payload(const unsigned char* payload, const burst_preamble& burst, int64_t frame_index, bool write,
                    const burst_options& options, access_units& units, burst_outputs& outputs)
{
    const payload_form form = data_type_of(burst.burst_type).form;
    if (form == payload_form::mat_frame)
        return deliver_mat_frame(payload, burst.payload_bytes, frame_index, write, units, outputs);
    units.length = 0;  // the units of MAT frames go on only from one to the next
    if (!write)
        return 0;
    switch (form) {
    case payload_form::mpeg_extension:
        if (!options.interleave)
            return split_extension_burst(payload, burst.payload_bytes, frame_index, options.verbose, outputs);
        break;
    case payload_form::adts_frames:
        return deliver_adts_frames(payload, burst.payload_bytes, frame_index, outputs);
    case payload_form::dts_type_iv:
        return deliver_dts_type_iv(payload, burst.payload_bytes, frame_index, outputs);
    default:
        break;
    }
    return write_output(outputs, payload, static_cast<size_t>(burst.payload_bytes));
}
