// Audio files from a stream that has no descriptor (fmemopen), the way a
// pipe on standard input is read: no file size, no seeking back.  The
// frames are read out, read again after a seek (which then reads forward),
// written to a memory stream of the same type and read back from it; and
// copied with copy_audio_frames (as sonomorph does) after a few frames were
// read, which must give the same bytes as the frame by frame write.
//
// The input bytes are the file.
#include "audio_common.h"
#include "fuzz_support.h"

#include <cstring>

namespace {

// The copy path: read `skip` frames, hand the rest to copy_audio_frames,
// and compare with `whole`, the file written frame by frame from the same
// record with all `frames` frames.
void check_copy(const uint8_t* data, size_t size, const audio_header& out_template, int64_t frames, int skip,
                const memory_output& whole)
{
    memory_input input(data, size);
    audio_header header;
    init_audio_header(&header);
    audio_file* in = handle_for_stream(input.release(), &header, AUDIO_MODE_READ);
    FUZZ_CHECK(in != nullptr);
    std::vector<double> first(static_cast<size_t>(skip) * static_cast<size_t>(header.channels) + 1);
    int got = 0;
    if (skip > 0)
        FUZZ_CHECK(read_audio_frames(first.data(), skip, &got, in) == 0 && got == skip);

    audio_header out_header = out_template;
    memory_output output;
    audio_file* out = handle_for_stream(output.stream, &out_header, AUDIO_MODE_WRITE);
    int64_t copied = 0;
    FUZZ_CHECK(copy_audio_frames(in, out, 1.0, &copied) == 0);
    FUZZ_CHECK(close_audio_file(out) == 0);
    output.closed_elsewhere();
    FUZZ_CHECK(close_audio_file(in) == 0);
    FUZZ_CHECK(copied == frames - skip);

    // Same record, same header; the samples are those of the whole file
    // from frame `skip` on.
    const size_t frame_bytes = static_cast<size_t>(header.channels) * static_cast<size_t>(audio_sample_bytes(header.type));
    const size_t skipped = static_cast<size_t>(skip) * frame_bytes;
    FUZZ_CHECK(whole.size >= static_cast<size_t>(frames) * frame_bytes);
    const size_t head = whole.size - static_cast<size_t>(frames) * frame_bytes;
    FUZZ_CHECK(output.size + skipped == whole.size);
    FUZZ_CHECK(std::memcmp(output.data, whole.data, head) == 0);
    FUZZ_CHECK(std::memcmp(output.data + head, whole.data + head + skipped, output.size - head) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silence_standard_streams();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    memory_input input(data, size);
    if (input.stream == nullptr)
        return 0;
    audio_header header;
    init_audio_header(&header);
    audio_file* in = handle_for_stream(input.release(), &header, AUDIO_MODE_READ);
    if (in == nullptr)
        return 0;
    check_data_offset(in->stream, header);
    std::vector<double> samples;
    const int64_t frames = drain_frames(in, samples);
    FUZZ_CHECK(close_audio_file(in) == 0);

    if (header.channels >= 1) {
        memory_input again(data, size);
        audio_header second;
        init_audio_header(&second);
        in = handle_for_stream(again.release(), &second, AUDIO_MODE_READ);
        FUZZ_CHECK(in != nullptr);
        check_seek(in, static_cast<int>(frames / 2 + size % 2), samples, header.channels);
        FUZZ_CHECK(close_audio_file(in) == 0);
    }

    // The copy keeps the frame count read: there is no rewrite on a stream.
    audio_header out_header;
    init_audio_header(&out_header);
    copy_audio_header(&out_header, &header);
    out_header.frames = static_cast<int32_t>(frames);
    const audio_header out_template = out_header;
    memory_output output;
    audio_file* out = handle_for_stream(output.stream, &out_header, AUDIO_MODE_WRITE);
    const int written = write_audio_frames(samples.data(), static_cast<int>(frames), out);
    FUZZ_CHECK(close_audio_file(out) == 0);
    output.closed_elsewhere();
    if (!round_trip_expected(header) || frames == 0)
        return 0;
    FUZZ_CHECK(written == 0);
    check_copy(data, size, out_template, frames, static_cast<int>(size % 3 == 0 ? 0 : frames / 3), output);

    memory_input copy(reinterpret_cast<const uint8_t*>(output.data), output.size);
    audio_header back;
    init_audio_header(&back);
    in = handle_for_stream(copy.release(), &back, AUDIO_MODE_READ);
    FUZZ_CHECK(in != nullptr);
    check_data_offset(in->stream, back);
    std::vector<double> samples_back;
    drain_frames(in, samples_back);
    FUZZ_CHECK(close_audio_file(in) == 0);
    check_round_trip(out_header, samples, back, samples_back);
    return 0;
}
