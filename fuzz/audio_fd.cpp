// Audio files from a real file descriptor, through the named-file path the
// programs take: open_audio_file, frame reads, a seek, a copy of the same
// type written through open_audio_file, its header rewritten in place as
// sonomorph and pcmwrap do, and the copy read back in update mode.
//
// The input bytes are the file.  Both files live in memory (memfd) and are
// opened by their /proc/self/fd names, so every open is a real fopen with
// a regular file underneath: fstat sizes, fseeko and "r+" all work.
#include "audio_common.h"
#include "fuzz_support.h"

#include <sys/mman.h>
#include <unistd.h>

#include <string>

namespace {

struct memory_file {
    int fd = -1;
    std::string name;
};

memory_file make_memory_file(const char* label)
{
    memory_file file;
    file.fd = memfd_create(label, 0);
    if (file.fd < 0) {
        dprintf(2, "memfd_create failed\n");
        std::abort();
    }
    file.name = "/proc/self/fd/" + std::to_string(file.fd);
    return file;
}

// Made at the first run rather than in LLVMFuzzerInitialize, so that the
// test suite can replay inputs through this function without libFuzzer.
memory_file input_file;
memory_file output_file;

void fill(const memory_file& file, const uint8_t* data, size_t size)
{
    FUZZ_CHECK(ftruncate(file.fd, 0) == 0);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = pwrite(file.fd, data + done, size - done, static_cast<off_t>(done));
        FUZZ_CHECK(n > 0);
        done += static_cast<size_t>(n);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silence_standard_streams();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (input_file.fd < 0) {
        input_file = make_memory_file("fuzz-input");
        output_file = make_memory_file("fuzz-output");
    }
    fill(input_file, data, size);

    // Everything the frames hold, read once from the start.
    audio_header header;
    init_audio_header(&header);
    audio_file* in = open_audio_file(input_file.name.c_str(), "r", &header);
    if (in == nullptr)
        return 0;
    check_data_offset(in->stream, header);
    std::vector<double> samples;
    const int64_t frames = drain_frames(in, samples);
    FUZZ_CHECK(close_audio_file(in) == 0);

    // A seek before the first read, as pcmpeel does for its range.
    if (header.channels >= 1) {
        audio_header again;
        init_audio_header(&again);
        in = open_audio_file(input_file.name.c_str(), "r", &again);
        FUZZ_CHECK(in != nullptr);
        check_seek(in, static_cast<int>(frames / 3 + size % 3), samples, header.channels);
        FUZZ_CHECK(close_audio_file(in) == 0);
    }

    // A copy of the same type, its frame count known only at the end.
    audio_header out_header;
    init_audio_header(&out_header);
    copy_audio_header(&out_header, &header);
    out_header.frames = 0;
    audio_file* out = open_audio_file(output_file.name.c_str(), "w", &out_header);
    FUZZ_CHECK(out != nullptr);
    const int written = write_audio_frames(samples.data(), static_cast<int>(frames), out);
    FUZZ_CHECK(close_audio_file(out) == 0);
    if (header.channels < 1 || frames == 0)
        return 0;
    FUZZ_CHECK(written == 0 || !round_trip_expected(header));
    if (written != 0)
        return 0;
    FUZZ_CHECK(rewrite_audio_header(output_file.name.c_str(), &out_header, static_cast<int>(frames)) == 0);
    if (!round_trip_expected(header))
        return 0;

    // The copy reads back as written, here through an update handle.
    audio_header back;
    init_audio_header(&back);
    audio_file* update = open_audio_file(output_file.name.c_str(), "r+", &back);
    FUZZ_CHECK(update != nullptr);
    check_data_offset(update->stream, back);
    const bool spw = header.type == AUDIO_SPW || header.type == AUDIO_SPW_D;
    FUZZ_CHECK(back.frames == (spw ? frames * header.channels : frames));
    std::vector<double> samples_back;
    drain_frames(update, samples_back);
    FUZZ_CHECK(close_audio_file(update) == 0);
    check_round_trip(out_header, samples, back, samples_back);
    return 0;
}
