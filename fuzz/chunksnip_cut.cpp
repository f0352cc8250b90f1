// chunksnip's scan loop (chunksnip_cut) on arbitrary bytes: settings from
// the first bytes (see cut_common.h), then the extension stream.
#include "chunksnip.h"
#include "cut_common.h"

namespace {

// The longest frame there is, as filler before a refill: 2047 bytes, its
// CRC-16 right (x^16 + x^15 + x^2 + 1 from 0xFFFF over bits 28 to 155).
std::vector<uint8_t> longest_frame()
{
    constexpr unsigned length = 2047;
    std::vector<uint8_t> frame(length, 0);
    frame[0] = 0x7F;
    frame[3] = static_cast<uint8_t>(length >> 7 & 0x0F);
    frame[4] = static_cast<uint8_t>((length & 0x7F) << 1);
    unsigned reg = 0xFFFF;
    for (size_t n = 28; n < 28 + 128; ++n) {
        const unsigned bit = frame[n / 8] >> (7 - n % 8) & 1u;
        const bool top = (reg & 0x8000) != 0;
        reg = reg << 1 & 0xFFFF;
        if (top != (bit == 1))
            reg ^= 0x8005;
    }
    frame[1] = static_cast<uint8_t>(0xF0 | reg >> 12);
    frame[2] = static_cast<uint8_t>(reg >> 4 & 0xFF);
    frame[3] = static_cast<uint8_t>((reg & 0xF) << 4 | frame[3]);
    return frame;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silence_standard_streams();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const cut_filler filler(longest_frame());
    byte_cursor cursor{data, size};
    const cut_draw draw = draw_cut_settings(cursor);
    chunksnip_settings settings;
    settings.cut = draw.settings;
    run_cut(chunksnip_cut, settings, filler, draw, cursor);
    return 0;
}
