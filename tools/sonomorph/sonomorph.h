// sonomorph: converts an audio file to another type, relabels its sampling
// frequency, regroups its channels and optionally rescales its samples.
#pragma once

#include "audiofile.h"

#include <string>

struct sonomorph_settings {
    int channels = 0;  // 0 keeps the input's grouping
    int sfreq = 0;     // 0 keeps the input's frequency
    std::string type_name;  // empty keeps the input's type
    std::string input = AUDIO_FROM_STDIN;
    std::string output = AUDIO_TO_STDOUT;
    bool scale = false;
};

// Scans the command line into settings.  Returns -1 to go on, or the exit
// status after the usage text was printed (-h: 0, an option error: 1).
int sonomorph_options(int argc, char* argv[], sonomorph_settings& settings);
void sonomorph_usage();

// Magnitude bits relative to which -n scales a type (0 for float and double).
int get_scaling_bits(int type);

// The conversion; returns the exit status.
int sonomorph_run(const sonomorph_settings& settings);
