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

// ---------------------------------------------------------------------------
// Chunk scans of the RIFF and IFF families

// Whether an identifier is four printable ASCII characters: the chunks a
// scan does not know but passes over by their size.
bool printable_chunk_id(const unsigned char* id);

// Reads the next chunk's 4-byte identifier and 4-byte size into header and
// counts them in position.  After a chunk of odd length (after_odd) a byte
// that cannot begin an identifier is that chunk's pad byte and is passed
// over; a printable one begins the next chunk, as writers that leave out the
// pad byte have it.  False when the stream ends first.
bool read_chunk_header(FILE* stream, bool after_odd, unsigned char* header, uint64_t& position);

// Passes over n bytes of a chunk whose body begins at position (bytes
// consumed so far) and counts them there.  Samples can only begin where
// data_offset reaches, so a chunk that ends beyond 2 GiB is refused before
// it is read (a pipe would otherwise be read for gigabytes first).
enum chunk_skip : int { CHUNK_SKIPPED = 0, CHUNK_PAST_END = -1, CHUNK_BEYOND_OFFSETS = -2 };
chunk_skip skip_chunk(FILE* stream, uint64_t& position, uint64_t n);

// Reads exactly n bytes; false when the stream ends first.
bool read_exact(FILE* stream, void* dst, size_t n);

// getc that retries and waits as read_audio_bytes does.
int read_audio_byte(FILE* stream);

// Values for 32-bit header fields, formed wide: beyond the field's range
// they stay at its largest value ("to the end of the file") instead of
// wrapping round to a small, wrong size.
constexpr uint32_t saturate_u32(uint64_t v) { return v > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(v); }
constexpr int32_t saturate_i32(int64_t v)
{
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v);
}
// A 32-bit size or count field that states nothing: 0 (a header written
// before its data were known, as on a pipe) or all ones (size not known, or
// too large for the field).  Such a header's data run to the end of the file.
constexpr bool size_unstated(uint32_t v) { return v == 0 || v == UINT32_MAX; }

// Bytes of frames frames of the given sample size and channel count, for a
// header's size fields: 0 for negative counts, saturating where the product
// leaves 64 bits.
uint64_t data_bytes(int64_t frames, int bytes, int64_t channels);

// ---------------------------------------------------------------------------
// Frame counts and the end of the data

// Bytes of sample data that the header read last states; negative when it
// states none.  Set by read_audio_header through take_frame_count; the
// reading handle stops there, so that chunks after the data are not read as
// frames.
extern int64_t stated_data_size;

// Frames in what follows data_offset in the file open on stream, for headers
// that give no count.  Uses the header's data_offset, channels and type.
// A stream that is no regular file has no size: its count is as large as
// 64-bit sizes allow, so that it is read to its end.
int64_t frames_from_file_size(FILE* stream, const audio_header* header);

// Sets the header's frame count to the count its header states, and the end
// of the data after that many frames; a count of 0 or less states none, and
// the count then comes from the file's size, with no end but the file's.
// The header's data_offset, channels and type must be set.
void take_frame_count(FILE* stream, audio_header* header, int64_t stated);
// The same for a header that states the size of its data in bytes (negative:
// none); the data end there, and a size of less than one frame states none.
void take_data_size(FILE* stream, audio_header* header, int64_t bytes);

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
