// The cutters' scan loops on arbitrary bytes: settings from the first input
// bytes, the rest as the input stream, the output in memory (so that the
// ADC header block can be rewritten at the end), logs in memory too (they
// are flushed line by line: on a file that is a system call each).
//
// The cutters read through a buffer that is refilled while a frame is under
// way; the programs' 1 MiB would need that much input to reach the refill,
// and its allocation would cost most of each run, so the fuzzed runs use
// FUZZ_READ_BUFFER_BYTES.  On request the fuzzed bytes are put behind a run
// of good frames that ends just before the first refill, so that they
// straddle it.
#pragma once

#include "bitstream.h"
#include "cutter.h"
#include "fuzz_support.h"

#include <cstdint>
#include <cstring>
#include <vector>

constexpr size_t FUZZ_READ_BUFFER_BYTES = 8 * MAX_FRAME_BYTES;

struct cut_draw {
    cut_settings settings;
    bool own_switch = false;  // framesnip -v
    bool straddle = false;
    size_t shift = 0;  // with straddle: how far before the refill the fuzzed bytes begin, in 4-byte steps
};

// Bits of the first byte: 0 -a, 1 -F, 2 -l, 3 -u, 4 the program's own
// switch (framesnip -v); bits 5-7 equal to 101: straddle the refill (then
// one more byte: the shift; one input in eight, as such runs are slow).
// Second byte: -b as a signed byte.  Third byte: -e, 0..191 as it stands,
// 192..239 negative, 240..255 the default.
inline cut_draw draw_cut_settings(byte_cursor& cursor)
{
    const uint8_t flags = cursor.next();
    const auto first = static_cast<int8_t>(cursor.next());
    const uint8_t end = cursor.next();
    cut_draw draw;
    draw.settings.adc_header = (flags & 1) != 0;
    draw.settings.fast = (flags & 2) != 0;
    draw.settings.log_frames = (flags & 4) != 0;
    draw.settings.unique = (flags & 8) != 0;
    draw.own_switch = (flags & 16) != 0;
    draw.straddle = (flags & 0xE0) == 0xA0;
    if (draw.straddle)
        draw.shift = size_t{cursor.next()} * 4;
    draw.settings.first = first;
    draw.settings.end = end < 192 ? end : end < 240 ? 191 - end : DEFAULT_END_FRAME;
    return draw;
}

// Copies of `frame` filling the reader's buffer; a run uses as many of
// them as end at least `shift` bytes before the first refill.
struct cut_filler {
    std::vector<uint8_t> bytes;
    size_t frame_size;

    explicit cut_filler(const std::vector<uint8_t>& frame) : frame_size(frame.size())
    {
        for (size_t i = 0; i < FUZZ_READ_BUFFER_BYTES / frame.size(); ++i)
            bytes.insert(bytes.end(), frame.begin(), frame.end());
    }
    size_t length(const cut_draw& draw) const
    {
        return draw.straddle ? (FUZZ_READ_BUFFER_BYTES - draw.shift) / frame_size * frame_size : 0;
    }
};

// Runs cut over the filler and the rest of the input, and checks what any
// run must give: status 0 or 1, and no more output than the input and the
// header block.
template <class Settings>
void run_cut(int (*cut)(const Settings&, const cut_streams&), const Settings& settings, const cut_filler& filler,
             const cut_draw& draw, const byte_cursor& rest)
{
    const size_t filler_size = filler.length(draw);
    // The range counts from the fuzzed frames on, so that the filler is
    // passed over rather than copied (which would cost most of the run).
    Settings shifted = settings;
    shifted.cut.read_buffer_bytes = FUZZ_READ_BUFFER_BYTES;
    const auto filler_frames = static_cast<int>(filler_size / filler.frame_size);
    shifted.cut.first += filler_frames;
    if (shifted.cut.end != DEFAULT_END_FRAME)
        shifted.cut.end += filler_frames;
    // Seekable, so that the tags found from the end of a file are looked for.
    joined_input input(filler.bytes.data(), filler_size, rest.data, rest.size, true);
    FUZZ_CHECK(input.stream != nullptr);
    memory_output output;
    memory_output log;
    memory_output err;
    const int status = cut(shifted, {input.stream, output.stream, log.stream, err.stream});
    FUZZ_CHECK(status == 0 || status == 1);
    output.close();
    FUZZ_CHECK(output.size <= filler_size + rest.size + ADC_HEADER_BYTES);
}
