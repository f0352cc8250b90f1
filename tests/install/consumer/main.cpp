// consumer write FILE: a 16-bit stereo WAVE file of 100 frames, a ramp.
// consumer read FILE: prints the header and whether the samples are the ramp.
// consumer type NAME: prints the type code of a type name.
#include "audiofile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int type_code(const char* name);  // folder.cpp

namespace {

constexpr int FRAMES = 100;

double ramp(int frame, int channel) { return (frame - 50) * 300.0 * (channel == 0 ? 1 : -1); }

int write_ramp(const char* name)
{
    audio_header header{};
    init_audio_header(&header);
    header.sfreq = 44100;
    header.type = AUDIO_WAVE_16;
    audio_file* file = open_audio_file(name, "w", &header);
    if (file == nullptr)
        return 1;
    double frame[2];
    for (int i = 0; i < FRAMES; ++i) {
        frame[0] = ramp(i, 0);
        frame[1] = ramp(i, 1);
        if (write_audio_frame(frame, file) != 0)
            return 1;
    }
    if (close_audio_file(file) != 0)
        return 1;
    // The header was written with 0 frames; give it the count.
    return rewrite_audio_header(name, &header, FRAMES) == 0 ? 0 : 1;
}

int read_back(const char* name)
{
    audio_header header{};
    audio_file* file = open_audio_file(name, "r", &header);
    if (file == nullptr)
        return 1;
    double* frame = alloc_frame_buffer(header.channels);
    if (frame == nullptr)
        return 1;
    // Integer samples keep their values whatever the precision; float types
    // do not hold the ramp, so only the count is checked for them.
    bool same = header.channels == 2;
    int count = 0;
    while (read_audio_frame(frame, file) == 0) {
        if (same && (frame[0] != ramp(count, 0) || frame[1] != ramp(count, 1)))
            same = false;
        ++count;
    }
    std::free(frame);
    close_audio_file(file);
    std::printf("channels %d sfreq %d frames %lld type %d %s\n", header.channels, header.sfreq,
                static_cast<long long>(header.frames),
                header.type, same && count == FRAMES ? "ramp ok" : "other");
    return count == header.frames ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc == 3 && std::strcmp(argv[1], "write") == 0)
        return write_ramp(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "read") == 0)
        return read_back(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "type") == 0)
        return std::printf("%d\n", type_code(argv[2])) > 0 ? 0 : 1;
    std::fprintf(stderr, "usage: consumer write|read FILE | consumer type NAME\n");
    return 2;
}
