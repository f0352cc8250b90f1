// framesnip's scan loop (framesnip_cut) on arbitrary bytes: settings from
// the first bytes (see cut_common.h), then the MPEG audio stream.
#include "cut_common.h"
#include "framesnip.h"

namespace {

// The longest frame there is, as filler before a refill: MPEG-1 Layer II,
// 384 kbit/s at 32 kHz with padding, 1729 bytes.
std::vector<uint8_t> longest_frame()
{
    std::vector<uint8_t> frame(1729, 0);
    frame[0] = 0xFF;
    frame[1] = 0xFD;
    frame[2] = 0xEA;
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
    framesnip_settings settings;
    settings.cut = draw.settings;
    settings.verbose = draw.own_switch;
    run_cut(framesnip_cut, settings, filler, draw, cursor);
    return 0;
}
