// What the bitstream programs share: the per-frame hash, bit rows, and the
// ADC bitstream header block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// The "unique number" of a frame or burst: starts at 0 and becomes
// value * 1664525 + byte for each byte, modulo 2^32.
constexpr uint32_t frame_hash(const unsigned char* bytes, size_t count, uint32_t value = 0)
{
    for (size_t i = 0; i < count; ++i)
        value = value * 1664525u + bytes[i];
    return value;
}

// n bytes to 8n entries of 0 or 1, most significant bit of each byte first.
void unpack_bits(const unsigned char* bytes, size_t n, unsigned char* bits);
// The reverse: 8n entries of 0 or 1 back into n bytes.
void pack_bits(const unsigned char* bits, size_t n, unsigned char* bytes);

constexpr size_t ADC_HEADER_BYTES = 2304;  // 1152 big-endian 16-bit words

// Fills block with the ADC bitstream header for count frames: words 1 and 2
// hold count / 65536 and count % 65536 (truncated, as 16-bit words).
void make_adc_header(int count, unsigned char (&block)[ADC_HEADER_BYTES]);
// Writes that block at the stream's position; false when it was not written.
bool write_adc_header(FILE* stream, int count);
