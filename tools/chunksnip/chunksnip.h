// chunksnip: cuts an MPEG-2 multichannel extension bitstream by frame number,
// checking each frame's CRC-16 and correcting the wrong ones.
#pragma once

#include "cutter.h"

#include <cstddef>
#include <cstdint>

struct chunksnip_settings {
    cut_settings cut;  // -F also switches the CRC check off
};

// Scans the command line into settings.  Returns -1 to go on, or the exit
// status after the usage text was printed (-h: 0, an option error: 1).
int chunksnip_options(int argc, char* argv[], chunksnip_settings& settings);
void chunksnip_usage();

// The shortest frame: the five header bytes alone.
constexpr size_t EXTENSION_HEADER_BYTES = 5;

// The length field of a header (11 bits) and its id bit.
int extension_length_field(const unsigned char* header);
int extension_id_bit(const unsigned char* header);

// CRC-16 (x^16 + x^15 + x^2 + 1, register starting at 0xFFFF) over count
// entries of 0 or 1.
uint16_t extension_crc(const unsigned char* bits, size_t count);

// How many bits from bit 28 on the CRC of a frame of `length` bytes covers.
size_t extension_crc_bits(size_t length);

// Cuts the stream from streams.in to streams.out, with the reports and log
// lines on streams.log.  Returns the exit status before the streams are
// closed.
int chunksnip_cut(const chunksnip_settings& settings, const cut_streams& streams);
