// tonesmith: writes a sine, or a linear or logarithmic sweep, into an audio
// file of any type.
#pragma once

#include "audiofile.h"

#include <string>

struct tonesmith_settings {
    double amplitude = 5000.0;
    int channels = 1;
    int sfreq = 48000;
    bool logarithmic = false;
    int frames = 48000;
    double start = 1000.0;
    double end = 0.0;
    bool sweep = false;  // set by -S
    std::string type_name;
    std::string output = AUDIO_TO_STDOUT;
};

// Scans the command line into settings.  Returns -1 to go on, or the exit
// status after the usage text was printed.
int tonesmith_options(int argc, char* argv[], tonesmith_settings& settings);
void tonesmith_usage();

// Generates the signal; returns the exit status.
int tonesmith_run(const tonesmith_settings& settings);

// The generator itself, for callers that want the samples: fills values[i]
// with sample i of the signal, i from 0 to count - 1.
void tonesmith_generate(const tonesmith_settings& settings, double* values, int count);
