// pcmwrap: wraps headerless signed little-endian integer samples (1 to 4
// bytes, one or more files side by side) into an audio file.
#pragma once

#include "audiofile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct pcmwrap_settings {
    int sfreq = 44100;
    int bytes = 2;     // bytes per raw sample
    int channels = 1;  // channels of each input
    std::string type_name;  // empty: AIFF of the raw width
    std::string output = AUDIO_TO_STDOUT;
    std::vector<std::string> inputs;  // empty: standard input
};

// Scans the command line into settings.  Returns -1 to go on, or the exit
// status after the usage text was printed (-h: 0, an option error: 1).
int pcmwrap_options(int argc, char* argv[], pcmwrap_settings& settings);
void pcmwrap_usage();

// The whole run; returns the exit status.
int pcmwrap_run(const pcmwrap_settings& settings);

// Output type: AIFF of the raw width, unless type_name is a known type name.
int pcmwrap_type(int bytes, const std::string& type_name);

// Converts raw samples to their integer values: frames groups of group
// samples each, read one after the other from in, stored at
// out[f * stride + j].
using raw_decoder = void (*)(const unsigned char* in, int32_t* out, size_t frames, size_t group, size_t stride);
// The converter for 1 to 4 bytes per sample; null for other widths.
raw_decoder raw_decoder_for(int bytes);
