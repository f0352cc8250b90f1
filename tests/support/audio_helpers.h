// What the tests of the audio programs share: the type list they print,
// sample bytes as raw files hold them, and files decoded through the library.
#pragma once

#include "audiofile.h"
#include "run.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

// print_audio_types' text, which the programs show for -h and unknown types.
inline const std::string type_list =
    "The currently supported audiofile types are:\n"
    "ILS formats: ils, ils_f, ils_d\n"
    "AIF formats: aiff (aiff_16), aiff_8, aiff_16, aiff_24, aiff_32\n"
    "AFC formats: aifc (aifc_16), aifc_8, aifc_16, aifc_24, aifc_32\n"
    "WAV formats: wave (wave_16), wave_8, wave_16, wave_24, wave_32\n"
    "SUN formats: sun   (sun_16),  sun_8,  sun_16,  sun_24,  sun_32\n"
    "SUN formats: sun_f, sun_d\n";

inline std::string le(uint64_t v, int bytes)
{
    std::string s;
    for (int i = 0; i < bytes; ++i)
        s.push_back(static_cast<char>(v >> (8 * i)));
    return s;
}

// Little-endian integers of the given width: raw sample files, what pcmpeel
// writes, and the sample bytes of a WAVE file of that width.
inline std::string raw(const std::vector<int64_t>& values, int bytes)
{
    std::string s;
    for (int64_t v : values)
        s += le(static_cast<uint64_t>(v), bytes);
    return s;
}

struct decoded {
    bool ok = false;
    audio_header header{};
    std::vector<double> samples;
    std::string messages;  // what the library printed while opening
};

// The header and samples of a file holding bytes, read through the library.
// Its messages are kept apart so that files it complains about stay quiet.
inline decoded decode(const std::string& bytes)
{
    decoded d;
    temp_dir dir;
    const std::string name = dir.file("decode.wav");
    write_file(name, bytes);
    testing::internal::CaptureStderr();
    audio_file* file = open_audio_file(name.c_str(), "r", &d.header);
    d.messages = testing::internal::GetCapturedStderr();
    if (file == nullptr || d.header.channels < 1)
        return d;
    d.ok = true;
    std::vector<double> frame(static_cast<size_t>(d.header.channels));
    while (read_audio_frame(frame.data(), file) == 0)
        d.samples.insert(d.samples.end(), frame.begin(), frame.end());
    close_audio_file(file);
    return d;
}
