// burstpick's burst scanner (scan_bursts) on arbitrary sample bytes, with
// the options drawn from the first seven bytes:
//   0: bit 0 big-endian words, 1 -i, 2 -p, 3 -v, 4 -u, 5 an extension
//      stream is open (-E); bits 6-7 equal to 01: straddle the first
//      refill (below)
//   1: -s (0..127: the low three bits; above: negative)
//   2, 3: -t, -r (255: not given; else the low five bits)
//   4: -T (0..127: not given; 128..239: the low four bits; above: negative)
//   5: -b as a signed byte
//   6: -e (0..191 as it stands, 192..239 negative, 240..255 the default)
// Output, extension stream and log go to memory.
//
// The scanner reads through a buffer of a little over 1 MiB, so the code
// that carries a burst over into the next read never runs on small inputs.
// With bits 6-7 at 01 (one input in four, as such runs are slower) one more
// byte follows the seven: the fuzzed bytes then come behind a run of
// silence that ends (byte x 32) bytes before the first refill, so that the
// bursts straddle it.
#include "burstpick.h"
#include "fuzz_support.h"

#include <cstdint>
#include <vector>

namespace {

// Where the scanner's first read ends: whole pages of its 1 MiB block and
// the room for one burst behind it.
constexpr size_t FIRST_REFILL = (size_t{1} << 20) + MAX_PAYLOAD_BYTES;

int draw_type(uint8_t b) { return b == 255 ? -1 : b & 31; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silence_standard_streams();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    byte_cursor cursor{data, size};
    const uint8_t flags = cursor.next();
    const word_order order = (flags & 1) != 0 ? word_order::big_endian : word_order::little_endian;
    burst_options options;
    options.interleave = (flags & 2) != 0;
    options.discard_errors = (flags & 4) != 0;
    options.verbose = (flags & 8) != 0;
    options.unique = (flags & 16) != 0;
    const uint8_t stream = cursor.next();
    options.stream_number = stream < 128 ? stream & 7 : static_cast<int8_t>(stream);
    options.wanted_type = draw_type(cursor.next());
    options.unwanted_type = draw_type(cursor.next());
    const uint8_t forced = cursor.next();
    options.forced_type = forced < 128 ? -1 : forced < 240 ? forced & 15 : forced - 256;
    options.first_frame = static_cast<int8_t>(cursor.next());
    const uint8_t end = cursor.next();
    options.end_frame = end < 192 ? end : end < 240 ? 191 - end : 999999999;

    static const std::vector<uint8_t> silence(FIRST_REFILL, 0);
    const size_t silent = (flags & 0xC0) == 0x40 ? FIRST_REFILL - size_t{cursor.next()} * 32 : 0;
    joined_input input(silence.data(), silent, cursor.data, cursor.size);
    FILE* in = input.stream;
    FUZZ_CHECK(in != nullptr);
    memory_output output;
    memory_output extension;
    memory_output log;
    burst_outputs outputs;
    outputs.output = output.stream;
    outputs.output_name = "output";
    outputs.log = log.stream;
    if ((flags & 32) != 0) {
        outputs.extension = extension.stream;
        outputs.extension_name = "extension";
        outputs.extension_open = true;
    }

    burst_scan scan;
    int status = scan_bursts(in, order, options, outputs, scan);
    const int flushed = flush_output(outputs);
    if (status == 0)
        status = flushed;
    FUZZ_CHECK(status == 0 || status == 1);
    FUZZ_CHECK(scan.frames_extracted <= scan.frame_index + 1);
    output.close();
    extension.close();
    FUZZ_CHECK(output.size + extension.size <= silent + cursor.size);
    return 0;
}
