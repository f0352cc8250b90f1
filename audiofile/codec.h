// Sample converters: one pair of block loops per sample encoding, chosen by
// type code when a frame call starts.  Internal to the library.
#pragma once

#include "audiofile.h"

#include <cstddef>
#include <cstdint>

struct sample_codec {
    int bytes;  // bytes per sample in the file
    void (*decode)(const unsigned char* in, double* out, size_t samples);
    void (*encode)(const double* in, unsigned char* out, size_t samples);
    // Integer samples also move as int32 values, between lo and hi.
    bool integer = false;
    int32_t lo = 0;
    int32_t hi = 0;
    void (*unpack)(const unsigned char* in, int32_t* out, size_t samples) = nullptr;
    void (*pack)(const int32_t* in, unsigned char* out, size_t samples) = nullptr;
    // Float and double samples also take int32 values times a power of two
    // (exact where the result is a normal number, as it is for every
    // integer sample scaled by 2^-31 .. 2^31).
    void (*scaled)(const int32_t* in, unsigned char* out, size_t samples, double scale) = nullptr;
};

// Converter for the header's type, for reading (mode AUDIO_MODE_READ: ILS
// byte order follows the header's marker) or writing; null for codes that
// have no samples.
const sample_codec* sample_codec_for(const audio_header* header, int mode);

// Writes the frames waiting in a write handle's buffer and empties it;
// false when the stream took fewer bytes (the handle remembers the loss).
bool flush_audio_buffer(audio_file* file, int64_t frame_bytes);
