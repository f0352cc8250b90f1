#include "bitstream.h"

#include <cstring>

namespace {
constexpr unsigned char abc[] = {'a', 'b', 'c'};
static_assert(frame_hash(abc, 3) == 0xD6142D66u);
}  // namespace

void unpack_bits(const unsigned char* bytes, size_t n, unsigned char* bits)
{
    for (size_t i = 0; i < n; ++i)
        for (int b = 0; b < 8; ++b)
            bits[8 * i + static_cast<size_t>(b)] = (bytes[i] >> (7 - b)) & 1;
}

void pack_bits(const unsigned char* bits, size_t n, unsigned char* bytes)
{
    for (size_t i = 0; i < n; ++i) {
        unsigned value = 0;
        for (int b = 0; b < 8; ++b)
            value = value << 1 | (bits[8 * i + static_cast<size_t>(b)] & 1u);
        bytes[i] = static_cast<unsigned char>(value);
    }
}

void make_adc_header(int count, unsigned char (&block)[ADC_HEADER_BYTES])
{
    std::memset(block, 0, sizeof block);
    const int high = count / 65536;  // truncates toward zero; the remainder keeps the count's sign
    const int low = count % 65536;
    block[2] = static_cast<unsigned char>(static_cast<unsigned>(high) >> 8);
    block[3] = static_cast<unsigned char>(high);
    block[4] = static_cast<unsigned char>(static_cast<unsigned>(low) >> 8);
    block[5] = static_cast<unsigned char>(low);
}

bool write_adc_header(FILE* stream, int count)
{
    unsigned char block[ADC_HEADER_BYTES];
    make_adc_header(count, block);
    return std::fwrite(block, 1, sizeof block, stream) == sizeof block;
}
