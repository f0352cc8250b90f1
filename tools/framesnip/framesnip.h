// framesnip: cuts an MPEG audio bitstream (MPEG-1 and MPEG-2 low sampling
// frequencies, Layers I to III) by frame number.
#pragma once

#include "cutter.h"

#include <cstdio>

struct framesnip_settings {
    cut_settings cut;
    bool verbose = false;  // -v: report header errors and go on
};

// Scans the command line into settings.  Returns -1 to go on, or the exit
// status after the usage text was printed (-h: 0, an option error: 1).
int framesnip_options(int argc, char* argv[], framesnip_settings& settings);
void framesnip_usage();

// The version numbers of MPEG-2.5 (the version bits 00, a quarter of the
// MPEG-1 sampling frequencies) and of the reserved version bits 01.
constexpr int MPEG_2_5 = 25;
constexpr int MPEG_RESERVED = -1;

// The fields of a frame header that the cutter uses.
struct mpeg_header {
    int version = 0;        // 1 MPEG-1, 0 MPEG-2 low sampling frequencies, MPEG_2_5, MPEG_RESERVED
    int layer_code = 0;     // 3 Layer I, 2 Layer II, 1 Layer III, 0 reserved
    int bitrate_index = 0;  // 0 free format and 15 are not accepted
    int sfreq_index = 0;    // 3 is reserved
    int padding = 0;
};

// Decodes the four header bytes.
mpeg_header decode_mpeg_header(const unsigned char* bytes);
// Layer number 1..3 (4 for the reserved code).
int mpeg_layer(const mpeg_header& header);
// Bitrate in bit/s; 0 for index 0, 15 or a reserved layer.
int mpeg_bitrate(const mpeg_header& header);
// Sampling frequency in Hz, halved for version 0, quartered for MPEG-2.5;
// 0 for index 3 or the reserved version.
int mpeg_sampling_frequency(const mpeg_header& header);
// Frame length in bytes, header included; 0 when the header gives none.
int mpeg_frame_length(const mpeg_header& header);

// Cuts the stream from streams.in to streams.out, with the progress and log
// lines on streams.log and stopping errors on streams.err.  Returns the exit
// status before the streams are closed.
int framesnip_cut(const framesnip_settings& settings, const cut_streams& streams);
