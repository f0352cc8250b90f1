#include "chunksnip.h"

#include "bitstream.h"
#include "option.h"

#include <array>
#include <cinttypes>
#include <cstring>

namespace {

constexpr const char* PROGRAM = "chunksnip";

// The CRC is checked over the bits that the first bytes of a frame hold.
constexpr size_t CHECK_BYTES = 20;
constexpr size_t CRC_FIRST_BIT = 12;   // the CRC field: bits 12..27
constexpr size_t CRC_COVER_FROM = 28;  // the covered bits start at the length field
constexpr size_t CRC_COVER_MAX = 128;
static_assert(CRC_COVER_FROM + CRC_COVER_MAX <= 8 * CHECK_BYTES);

static_assert(((0x0Fu << 7) | (0xFFu >> 1)) <= MAX_FRAME_BYTES, "the longest length field fits the reader");

// A byte 0x7F and a byte whose upper four bits are all ones.
constexpr sync_pair EXTENSION_SYNC{0x7F, 0xF0, 0xF0};

void dump_header(FILE* log, const unsigned char* header)
{
    for (size_t i = 0; i < EXTENSION_HEADER_BYTES; ++i)
        std::fprintf(log, "byte[%zu] = %2x\n", i, static_cast<unsigned>(header[i]));
}

void print_id_line(FILE* log, int64_t frame, size_t length, int id)
{
    std::fprintf(log, "frame: %2" PRId64 " len: %6zu id: %d\n", frame, length, id);
}

// Verifies the CRC of a whole frame and puts the computed one into its header
// when they differ, reporting each differing bit.
void check_crc(const cut_run& run, unsigned char* frame, size_t length, int id)
{
    std::array<unsigned char, CHECK_BYTES> head{};
    std::memcpy(head.data(), frame, length < CHECK_BYTES ? length : CHECK_BYTES);
    std::array<unsigned char, 8 * CHECK_BYTES> check{};
    unpack_bits(head.data(), CHECK_BYTES, check.data());
    std::array<unsigned char, 8 * EXTENSION_HEADER_BYTES> stored{};
    unpack_bits(frame, EXTENSION_HEADER_BYTES, stored.data());

    const uint16_t crc = extension_crc(check.data() + CRC_COVER_FROM, extension_crc_bits(length));
    for (size_t i = 0; i < 16; ++i)
        check[CRC_FIRST_BIT + i] = static_cast<unsigned char>((crc >> (15 - i)) & 1);

    FILE* log = run.io.log;
    bool differs = false;
    for (size_t i = 0; i < 16; ++i) {
        const unsigned computed = check[CRC_FIRST_BIT + i];
        const unsigned found = stored[CRC_FIRST_BIT + i];
        if (computed != found) {
            std::fprintf(log, "frame: %2" PRId64 " len: %6zu crc[%02zu]: %2x <-> %2x\n", run.frame, length, i, computed,
                         found);
            differs = true;
        }
    }
    if (differs) {
        print_id_line(log, run.frame, length, id);
        dump_header(log, frame);
        pack_bits(check.data(), EXTENSION_HEADER_BYTES, frame);
        dump_header(log, frame);
    }
    std::fflush(log);
}

// The scan loop.  Returns 0 when the input ended or the fast stop came, 1
// when a write failed.
int scan_frames(cut_run& run)
{
    FILE* log = run.io.log;
    while (find_sync(run, EXTENSION_SYNC)) {
        ++run.frame;
        const bool wanted = in_range(run, run.frame);
        if (run.settings.fast && run.frame >= run.settings.end)
            return 0;
        if (wanted)
            ++run.copied;

        size_t got = 0;
        unsigned char* bytes = take_bytes(run.reader, 2, EXTENSION_HEADER_BYTES - 2, got);
        size_t length = 0;  // unknown while the header is not whole
        size_t have = 2 + got;
        if (have == EXTENSION_HEADER_BYTES) {
            const int field = extension_length_field(bytes);
            const int id = extension_id_bit(bytes);
            length = static_cast<size_t>(field);
            if (id != 0) {
                print_id_line(log, run.frame, length, id);
                dump_header(log, bytes);
                std::fflush(log);
                length = EXTENSION_HEADER_BYTES;
            } else if (length < EXTENSION_HEADER_BYTES) {
                // No frame is shorter than its header: take the header alone.
                std::fprintf(log, "frame: %2" PRId64 " len: %6zu shorter than its header, taken as 5 bytes\n",
                             run.frame, length);
                std::fflush(log);
                length = EXTENSION_HEADER_BYTES;
            }
            bytes = take_bytes(run.reader, EXTENSION_HEADER_BYTES, length - EXTENSION_HEADER_BYTES, got);
            have = EXTENSION_HEADER_BYTES + got;
        }
        if (have < length || length == 0)
            log_short_frame_line(log, run.frame, run.position, have, length);
        if (wanted && run.settings.log_frames)
            log_frame_line(log, run.frame, run.position, have, run.settings.unique,
                           run.settings.unique ? frame_hash(bytes, have) : 0);
        // A frame cut short lacks bits the CRC covers: it is passed on as read.
        if (!run.settings.fast && have == length)
            check_crc(run, bytes, length, extension_id_bit(bytes));
        if (wanted && !write_frame(run, bytes, have))
            return 1;
        if (!next_pair(run, static_cast<int64_t>(have)))
            return 0;
    }
    return 0;
}

}  // namespace

int extension_length_field(const unsigned char* header) { return (header[3] & 0x0F) << 7 | header[4] >> 1; }

int extension_id_bit(const unsigned char* header) { return header[4] & 1; }

uint16_t extension_crc(const unsigned char* bits, size_t count)
{
    unsigned reg = 0xFFFF;
    for (size_t i = 0; i < count; ++i) {
        const unsigned top = reg >> 15;
        reg = (reg << 1) & 0xFFFF;
        if (top != (bits[i] & 1u))
            reg ^= 0x8005;
    }
    return static_cast<uint16_t>(reg);
}

size_t extension_crc_bits(size_t length)
{
    const size_t bits = 8 * length - CRC_COVER_FROM;
    return bits < CRC_COVER_MAX ? bits : CRC_COVER_MAX;
}

void chunksnip_usage()
{
    std::fprintf(stderr, "\nUsage:\n");
    std::fprintf(stderr, "chunksnip [-a] add ADC bitstream header\n");
    std::fprintf(stderr, "                   [-b first frame number of cut]\n");
    std::fprintf(stderr, "                   [-e last frame number of cut]\n");
    std::fprintf(stderr, "                   [-F] Fast, stops after range and no crc check\n");
    std::fprintf(stderr, "                   [-h] prints this message\n");
    std::fprintf(stderr, "                   [-i inputfile]\n");
    std::fprintf(stderr, "                   [-l] prints frame sizes\n");
    std::fprintf(stderr, "                   [-o outputfile]\n");
    std::fprintf(stderr, "                   [-u] unique number per frame in logging mode\n");
}

int chunksnip_options(int argc, char* argv[], chunksnip_settings& settings)
{
    int c;
    while ((c = get_option(argc, argv, "b:e:i:o:Fahlu")) != -1) {
        switch (c) {
        case 'h':
            chunksnip_usage();
            return 0;
        default:
            if (cut_option(c, option_argument, settings.cut))
                break;
            chunksnip_usage();
            return 1;
        }
    }
    return -1;
}

int chunksnip_cut(const chunksnip_settings& settings, const cut_streams& streams)
{
    // Extension streams carry no tags: every byte outside a frame is a stray one.
    return run_cut(PROGRAM, settings.cut, streams, nullptr, [](cut_run& run) { return scan_frames(run); });
}
