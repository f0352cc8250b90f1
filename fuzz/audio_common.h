// The checks both audio targets run on a handle: every frame read out in
// blocks of varying size, the same frames after a seek, and the frames
// written to a file of the same type and read back.
#pragma once

#include "audiofile.h"

#include <cstdint>
#include <cstdio>
#include <vector>

// A handle on a stream that has no name, set up as open_audio_file would:
// for AUDIO_MODE_READ the header is read first (null when that fails, the
// stream then closed); for AUDIO_MODE_WRITE the header is written.  Closed
// with close_audio_file like any other handle.
audio_file* handle_for_stream(FILE* stream, audio_header* header, int mode);

// Reads frames until read_audio_frames gives -1, in blocks whose sizes
// cycle so that single frames, odd counts and whole buffers all occur.
// Appends the samples; returns the number of frames read.
int64_t drain_frames(audio_file* file, std::vector<double>& samples);

// Whether two runs of samples hold the same values (NaN matches NaN: its
// payload need not survive a float round trip).
bool same_samples(const double* a, const double* b, size_t count);

// The reader left the stream at the first sample byte, where data_offset
// says it is.
void check_data_offset(FILE* stream, const audio_header& header);

// After an open for reading and a seek of `frames` from the first sample,
// the frames that follow are those of the whole read from that frame on.
void check_seek(audio_file* file, int frames, const std::vector<double>& all, int channels);

// Whether a record read from a file is one its own writer can store without
// loss, so that a written copy must read back equal: a channel count every
// header layout holds.
bool round_trip_expected(const audio_header& header);

// A copy written with header `written` and `frames` frames of `samples`
// read back as `read` with `samples_back`: same type, rate and samples (SPW
// keeps the samples as one signal, so the comparison is sample by sample).
void check_round_trip(const audio_header& written, const std::vector<double>& samples, const audio_header& read,
                      const std::vector<double>& samples_back);
