// burstpick's MPEG-2 extension splitter (split_extension_burst) on an
// arbitrary payload.  First byte: bit 0 -v, bit 1 an extension stream is
// open, the rest the frame number; then the payload (at most what a burst
// can carry), in a buffer of exactly its size.
#include "burstpick.h"
#include "fuzz_support.h"

#include <algorithm>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silence_standard_streams();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    byte_cursor cursor{data, size};
    const uint8_t flags = cursor.next();
    const size_t payload_bytes = std::min<size_t>(cursor.size, MAX_PAYLOAD_BYTES);
    std::unique_ptr<unsigned char[]> payload(new unsigned char[payload_bytes]);
    std::memcpy(payload.get(), cursor.data, payload_bytes);
    const auto bytes = static_cast<int>(payload_bytes);

    const extension_layout layout = extension_layout_of(payload.get(), bytes);
    FUZZ_CHECK(!layout.ext_header_present || layout.b1 + 5 <= bytes);
    FUZZ_CHECK(layout.b1 >= 0 && layout.b2 >= 0);

    memory_output output;
    memory_output extension;
    memory_output log;
    burst_outputs outputs;
    outputs.output = output.stream;
    outputs.log = log.stream;
    if ((flags & 2) != 0) {
        outputs.extension = extension.stream;
        outputs.extension_open = true;
    }
    int status = split_extension_burst(payload.get(), bytes, flags >> 2, (flags & 1) != 0, outputs);
    const int flushed = flush_output(outputs);
    if (status == 0)
        status = flushed;
    FUZZ_CHECK(status == 0 || status == 1);
    output.close();
    extension.close();
    FUZZ_CHECK(output.size + extension.size <= payload_bytes);
    return 0;
}
