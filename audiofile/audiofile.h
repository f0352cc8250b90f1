// audiofile: reading and writing SUN, WAVE, AIFF, AIFC, SPW and ILS audio
// files through one header record and frames of doubles.
//
// A file is described by an audio_header record that belongs to the caller.
// open_audio_file recognises an input's format by probing its first bytes (so
// standard input works) or writes an output's header at once; frames then move
// through the handle's 1 MiB buffer.  Samples are never scaled: a double holds
// the integer value of an integer sample and the stored value of a float or
// double sample.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

// ---------------------------------------------------------------------------
// Header record and type codes

struct audio_header {
    int32_t channels;     // samples per frame
    int32_t sfreq;        // sampling frequency, whole hertz
    int64_t frames;       // frames in the data; 64-bit, so that files of 2^31 frames and more keep them all
    int32_t ils_blocks;   // ILS pass-through fields; other readers set defaults
    int32_t ils_value35;
    int32_t ils_value37;
    int32_t ils_marker;   // ILS sample-type marker as it stood in the file
    int32_t ils_word63;
    int32_t ils_word64;
    int32_t ils_byte65;
    int32_t ils_half65;
    int32_t type;         // audio_type code
    int32_t data_offset;  // byte offset of the first sample; never written to a file
    char comment[256];    // at most 255 characters and a NUL
};

enum audio_type : int32_t {
    AUDIO_ILS = 0,
    AUDIO_AIFF = 1,
    AUDIO_AIFF_8 = 2,
    AUDIO_AIFF_16 = 3,
    AUDIO_AIFF_24 = 4,
    AUDIO_AIFF_32 = 5,
    AUDIO_AIFC = 6,
    AUDIO_AIFC_8 = 7,
    AUDIO_AIFC_16 = 8,
    AUDIO_AIFC_24 = 9,
    AUDIO_AIFC_32 = 10,
    AUDIO_SPW = 11,
    AUDIO_SPW_D = 12,
    AUDIO_ILS_F = 13,
    AUDIO_ILS_D = 14,
    AUDIO_WAVE = 15,
    AUDIO_WAVE_8 = 16,
    AUDIO_WAVE_16 = 17,
    AUDIO_WAVE_24 = 18,
    AUDIO_WAVE_32 = 19,
    AUDIO_SUN = 20,
    AUDIO_SUN_8 = 21,
    AUDIO_SUN_16 = 22,
    AUDIO_SUN_24 = 23,
    AUDIO_SUN_32 = 24,
    AUDIO_SUN_F = 25,
    AUDIO_SUN_D = 26,
};
constexpr int AUDIO_TYPE_COUNT = 27;

// ILS sample-type markers (header word 62).
constexpr int32_t ILS_MARKER_16 = -32000;
constexpr int32_t ILS_MARKER_FLOAT = -32002;
constexpr int32_t ILS_MARKER_DOUBLE = -32004;

// Sample width in bits of a type code; 0 for codes outside 0..26.
int get_type_bits(int type);
// Code of a type name ("wave_24", "aiff", ...), or deflt when it is none.
int get_audio_type(const char* name, int deflt);
// Defaults of a new file: 2 channels, 48000 Hz, 0 frames, 16-bit WAVE.
int init_audio_header(audio_header* header);
// Copies channels..type and the comment; dest keeps its data_offset.
int copy_audio_header(audio_header* dest, const audio_header* source);
// The list of type names, on standard output.
void print_audio_types();

// ---------------------------------------------------------------------------
// Handles

constexpr int AUDIO_MODE_READ = 0;
constexpr int AUDIO_MODE_WRITE = 1;
constexpr int AUDIO_MODE_UPDATE = 2;

constexpr const char* AUDIO_FROM_STDIN = "AUDIO_FROM_STDIN";
constexpr const char* AUDIO_TO_STDOUT = "AUDIO_TO_STDOUT";

constexpr int AUDIO_BUFFER_SIZE = 1048576;

struct audio_file {
    FILE* stream;
    audio_header* header;  // the caller's record, not owned
    int mode;
    std::unique_ptr<unsigned char[]> buffer;  // AUDIO_BUFFER_SIZE bytes
    int buffer_frames;  // reading: frames in the buffer; writing: capacity
    int buffer_index;   // reading: next frame; writing: frames waiting
    bool write_failed;  // a flush was lost; close reports it
    // Reading: bytes of sample data the header states that have not been
    // read yet, so that chunks after the data are never taken for frames;
    // negative when the header states no size (read to the end).
    int64_t data_left = -1;
};

// Opens name with mode "r", "r+" or "w"; null on failure (a message has been
// printed).  The magic names stand for standard input and output.
audio_file* open_audio_file(const char* name, const char* mode, audio_header* header);
// Writes what is buffered and releases the handle; -1 when anything written
// through the handle was lost or the file could not be closed.
int close_audio_file(audio_file* file);
// Recognises the format of stream and fills header; 0 or a reader's code.
int read_audio_header(FILE* stream, audio_header* header);
// Writes the header of header->type's family at the stream's position.
int write_audio_header(FILE* stream, audio_header* header);
// Moves the read position by whole frames; origin as for fseek.
int seek_audio_file(audio_file* file, int64_t frames, int origin);

// Reopens a closed output named name for update, sets its frame count to
// frames and writes its header again in place.  Keeps the channel count of
// the record it was written with, so that formats that store one signal of
// all samples (SPW) state every sample.  Returns 0; 1 when name is
// standard output or no regular file (a pipe, FIFO or device cannot be read
// back: its header stays as written at open); -1 when the reopen failed (a message has been
// printed); -2 when the header could not be written or the file closed.
int rewrite_audio_header(const char* name, audio_header* header, int64_t frames);

// The largest channel count a header of type's family holds and reads back
// (16-bit signed fields of WAVE and AIFF, the channel byte of ILS).
int max_audio_channels(int type);

// Reads n bytes from stream into dst, fewer only at the end of the stream or
// on a read error (ferror then tells which).  A read interrupted by a signal
// is retried, and a non-blocking stream with nothing to read yet is waited
// for, so that neither is taken for the end of the data.
size_t read_audio_bytes(FILE* stream, void* dst, size_t n);

// ---------------------------------------------------------------------------
// Frames

// A frame array of channels doubles, released with free(); null on failure.
double* alloc_frame_buffer(int channels);

// Owns an array from alloc_frame_buffer.
struct frame_buffer_free {
    void operator()(double* frames) const { std::free(frames); }
};
using frame_buffer = std::unique_ptr<double[], frame_buffer_free>;
// Next frame into frame: 0, -1 at the end of the data, 82 on a write handle.
int read_audio_frame(double* frame, audio_file* file);
// One frame into the buffer: 0, -1 when it cannot be stored or a flush
// failed, 82 on a read handle.
int write_audio_frame(const double* frame, audio_file* file);

// Block forms of the two above, for programs that move many frames: up to
// max frames are decoded into frames (interleaved), *got tells how many.
// Same results as read_audio_frame; 0 means at least one frame was read.
int read_audio_frames(double* frames, int max, int* got, audio_file* file);
// Encodes count interleaved frames; 0, -1 or 82 as write_audio_frame.
int write_audio_frames(const double* frames, int count, audio_file* file);

// Encodes count interleaved frames of integer values, exactly as
// write_audio_frames encodes the same values held as doubles (clipped to the
// type's range), but without the trip through doubles.  0, -1 or 82 as
// write_audio_frame.
int write_audio_integers(const int32_t* frames, int count, audio_file* file);

// Copies every remaining frame of in to out, each sample multiplied by
// factor (1.0 leaves it as it is), in large blocks.  Where both store
// samples alike and nothing is scaled, the bytes move without conversion.
// *copied counts the frames handed to out.  0; -1 when out lost data or
// refused a frame; -2 when no block could be allocated; -3 when reading in
// failed (a read error, which is no end of the data).
int copy_audio_frames(audio_file* in, audio_file* out, double factor, int64_t* copied);

// Bytes per sample of a type, 0 for codes without a sample codec.
int audio_sample_bytes(int type);

// Raw sample files hold signed little-endian integers.  Bytes per sample
// where the header's type stores its samples so too (for reading, with ILS
// byte order from the marker), else 0: such samples need no conversion.
int raw_sample_bytes(const audio_header* header, int mode);

// Copies up to frames frames (negative: all) of in's samples as they are
// stored to out, where raw_sample_bytes says they are raw samples already:
// between regular files in the kernel, else in large blocks.  *copied
// counts them.  0; -1 when out lost data or the samples are not raw; -3
// when reading in failed.
int copy_audio_samples(audio_file* in, FILE* out, int64_t frames, int64_t* copied);

// The reverse: every whole frame of raw samples from in into out, whose type
// stores them as they are.  0, -1 or -3 as above.
int wrap_audio_samples(FILE* in, audio_file* out, int64_t* copied);
