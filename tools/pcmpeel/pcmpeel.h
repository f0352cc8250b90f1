// pcmpeel: writes the samples of an audio file, or of a range of its frames,
// as headerless signed little-endian integers of 1 to 4 bytes.
#pragma once

#include "audiofile.h"

#include <cstddef>
#include <cstdint>
#include <string>

struct pcmpeel_settings {
    int bytes = 2;             // bytes per output sample
    int64_t first = 0;         // first frame written
    bool first_set = false;
    int64_t end = 0;           // frame after the last one written
    bool end_set = false;      // unset: the header's frame count
    std::string output;        // the -o name
    bool output_set = false;   // unset: standard output
    std::string input = AUDIO_FROM_STDIN;
    bool named_input = false;  // an input file was named (it may seek)
};

// Scans the command line into settings.  Returns -1 to go on, or the exit
// status after the usage text was printed (-h: 0, an option error: 1).
int pcmpeel_options(int argc, char* argv[], pcmpeel_settings& settings);
void pcmpeel_usage();

// The whole run; returns the exit status.
int pcmpeel_run(const pcmpeel_settings& settings);

// Converts samples to raw integers: each x becomes floor(x + 0.5), of which
// the low bytes are stored least significant first (no clipping, no
// scaling).  NaN and values of magnitude 2^63 or more give 0.
using raw_encoder = void (*)(const double* in, unsigned char* out, size_t samples);
// The converter for 1 to 4 bytes per sample; null for other widths.
raw_encoder raw_encoder_for(int bytes);
