// What the format readers and writers share: the probe record of the bytes
// consumed while recognising an input, the chunk identifier table, byte-order
// and skipping helpers, the frame-count rules, and the readers and writers of
// each family.  Internal to the library (and its tests).
#pragma once

#include "audiofile.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

// ---------------------------------------------------------------------------
// Probe record: the leading bytes that readers consumed before they knew the
// format, handed on to the next reader because the stream cannot rewind.

constexpr int PROBE_SIZE = 80;
extern unsigned char probe_bytes[PROBE_SIZE];
extern int probe_fill;

// Reads up to n bytes from stream into dst and appends them to probe_bytes
// (as many as still fit).  Returns the number of bytes read.
size_t probe_read(FILE* stream, unsigned char* dst, size_t n);

// Reader results.
constexpr int SUN_NOT_MINE = -13, SUN_BROKEN = -14;
constexpr int WAVE_NOT_MINE = -11, WAVE_BROKEN = -12;
constexpr int AIFF_NOT_MINE = -5, AIFF_BROKEN = -6;
constexpr int SPW_NOT_MINE = -7, SPW_BROKEN = -8;
constexpr int NOT_RECOGNISED = -9;

// ---------------------------------------------------------------------------
// Chunk identifiers

enum chunk_id : int {
    FORM_CHUNK = 0, FVER_CHUNK, COMM_CHUNK, SAXL_CHUNK, COMT_CHUNK, MARK_CHUNK, SSND_CHUNK, CSND_CHUNK,
    NAME_CHUNK, AUTH_CHUNK, COPY_CHUNK, ANNO_CHUNK, INST_CHUNK, MIDI_CHUNK, AESD_CHUNK, APPL_CHUNK,
    RIFF_CHUNK, WAVE_CHUNK, FMT_CHUNK, DATA_CHUNK, SND_CHUNK, FACT_CHUNK, CUE_CHUNK, PLST_CHUNK,
};
constexpr int CHUNK_ID_COUNT = 24;

// Index of a 4-byte identifier in the table, or -1.
int get_chunk_type(const unsigned char* id);

// The four characters of an identifier as text, for messages.
struct chunk_name {
    char text[5];
};
chunk_name chunk_text(const unsigned char* id);

constexpr uint16_t swap16(uint16_t v) { return static_cast<uint16_t>(v >> 8 | v << 8); }
constexpr uint32_t swap32(uint32_t v)
{
    return v >> 24 | (v >> 8 & 0xFF00u) | (v << 8 & 0xFF0000u) | v << 24;
}

// Reads and discards n bytes (the stream may be a pipe).  0, or -1 when the
// stream ended first.
int skip_bytes(FILE* stream, uint64_t n);

// Reads exactly n bytes; false when the stream ends first.
bool read_exact(FILE* stream, void* dst, size_t n);

// Values for 32-bit header fields, formed wide: beyond the field's range
// they stay at its largest value ("to the end of the file") instead of
// wrapping round to a small, wrong size.
constexpr uint32_t saturate_u32(uint64_t v) { return v > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(v); }
constexpr int32_t saturate_i32(int64_t v)
{
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v);
}
// A count for an int32 field: capped at the largest int.
constexpr int32_t saturate_count(uint64_t v) { return v > INT32_MAX ? INT32_MAX : static_cast<int32_t>(v); }

// ---------------------------------------------------------------------------
// Frame counts

// Frames stated by a header's byte count, without wrapping: size bytes of
// samples of the given width, capped at the largest int; 0 when channels or
// bits are not positive.
int32_t frames_from_data_size(uint64_t size, int bits, int32_t channels);

// Frames in what follows data_offset in the file open on stream, for headers
// that give no count.  Uses the header's data_offset, channels and type.
// A stream that is no regular file counts as 2^32 - 1 bytes long.
int32_t frames_from_file_size(FILE* stream, const audio_header* header);

// The ILS fields that every reader but the ILS reader sets on success.
void set_reader_defaults(audio_header* header);

// ---------------------------------------------------------------------------
// Readers (in probe order) and writers

int read_sun_header(FILE* stream, audio_header* header);
int read_wave_header(FILE* stream, audio_header* header);
int read_aiff_header(FILE* stream, audio_header* header);
int read_spw_header(FILE* stream, audio_header* header);
int read_ils_header(FILE* stream, audio_header* header);

int write_sun_header(FILE* stream, const audio_header* header);
int write_wave_header(FILE* stream, const audio_header* header);
int write_aiff_header(FILE* stream, const audio_header* header);
void write_spw_header(FILE* stream, const audio_header* header);
int write_ils_header(FILE* stream, const audio_header* header);

// The AIFF sample rate's 80-bit extended-precision form: 10 bytes, big-endian.
void double_to_extended(double x, unsigned char* out);
double extended_to_double(const unsigned char* in);
