// What framesnip and chunksnip share around their frame rules: the buffered
// byte source, the run state with its counters, the sync-pair search, the log
// lines, the ADC bitstream header at both ends, and opening and closing the
// streams.  Each cutter supplies only what a frame is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <sys/types.h>

// Input is read in blocks of this size; a frame is always wholly inside the
// buffer when it is handed out, so the buffer must hold the longest frame.
constexpr size_t READ_BUFFER_BYTES = size_t{1} << 20;
// The output stream's buffer: frames are a few hundred bytes each, so they
// are gathered into large writes.
constexpr size_t WRITE_BUFFER_BYTES = size_t{1} << 20;
// The longest frame either cutter handles: framesnip's MPEG-2.5 Layer II at
// 160 kbit/s and 8 kHz with padding (chunksnip's 11-bit length field gives
// at most 2047).
constexpr size_t MAX_FRAME_BYTES = 2881;
static_assert(READ_BUFFER_BYTES >= 2 * MAX_FRAME_BYTES);

// Default end of the range: no realistic stream reaches it.
constexpr int DEFAULT_END_FRAME = 999999999;

// A byte source over a stdio stream, read through a large buffer so that the
// sync search costs an array access per byte.  The bytes already handed out
// of the frame under work stay in the buffer, so a frame is handed out as one
// contiguous piece that is written with one call.
struct byte_reader {
    FILE* stream = nullptr;
    std::unique_ptr<unsigned char[]> buffer;
    size_t capacity = 0;
    size_t start = 0;  // next byte to hand out
    size_t end = 0;    // one past the last byte read
    bool at_end = false;  // the stream has no more bytes
    bool failed = false;  // it ended with a read error
    int error = 0;        // errno of that error
    uint64_t total = 0;   // bytes read from the stream
    uint64_t limit = UINT64_MAX;  // bytes of the stream to read at most
};

// Allocates the buffer; false when that fails.
bool reader_init(byte_reader& reader, FILE* stream, size_t capacity = READ_BUFFER_BYTES);

// Moves the `keep` bytes last handed out to the buffer's start and reads
// until at least `want` bytes follow them or the stream ends.  Returns
// whether any byte is ready to hand out.
bool reader_fill(byte_reader& reader, size_t keep, size_t want);

inline bool next_byte(byte_reader& reader, unsigned char& byte)
{
    // The two bytes before the next one are the sync pair of a frame that
    // may begin there; they are kept when the buffer is refilled.
    if (reader.start == reader.end && !reader_fill(reader, reader.start < 2 ? reader.start : 2, 1))
        return false;
    byte = reader.buffer[reader.start++];
    return true;
}

// Hands out up to `more` further bytes (fewer only where the stream ends; got
// tells how many) and returns a pointer to the `behind` bytes handed out just
// before them, which are followed by the new ones in the buffer.  `behind`
// may not exceed the bytes of the current frame already handed out through
// this function or as the sync pair (at most 4 + MAX_FRAME_BYTES in all).
// The bytes are the reader's own: a cutter may correct them in place.
unsigned char* take_bytes(byte_reader& reader, size_t behind, size_t more, size_t& got);

// The `behind` bytes handed out last and the bytes after them, `count` in all
// at most (got tells how many the input holds), without handing any out.
const unsigned char* peek_bytes(byte_reader& reader, size_t behind, size_t count, size_t& got);

// Hands out and forgets up to `count` bytes, reading through the buffer as
// often as needed; returns how many the input held.
uint64_t skip_bytes(byte_reader& reader, uint64_t count);

struct cut_streams {
    FILE* in = nullptr;
    FILE* out = nullptr;
    FILE* log = nullptr;  // progress, log and report lines
    FILE* err = nullptr;  // errors that stop the run
};

// The command-line settings both cutters have.
struct cut_settings {
    bool adc_header = false;  // -a
    int first = 0;            // -b
    int end = DEFAULT_END_FRAME;  // -e: frames first..end-1 are cut
    bool fast = false;        // -F
    bool log_frames = false;  // -l
    bool unique = false;      // -u
    const char* input = nullptr;   // -i; null reads standard input
    const char* output = nullptr;  // -o; null writes standard output
    // The input buffer; a small one (at least 2 * MAX_FRAME_BYTES) makes
    // short test inputs reach the refills.
    size_t read_buffer_bytes = READ_BUFFER_BYTES;
};

// A seekable input as a window of bytes from where the cut begins.
struct input_window {
    FILE* stream = nullptr;
    off_t start = 0;
    uint64_t size = 0;
};

// Reads `count` bytes at `offset` of the window; false when they are not
// all there.
bool read_window(const input_window& input, uint64_t offset, unsigned char* bytes, size_t count);

// The blocks of an input that belong to no frame (tags), as a cutter knows
// them; each function gives a length in bytes, 0 for none.
struct tag_rules {
    // A block beginning at `bytes`: `look` of them, fewer where the input ends.
    uint64_t (*leading)(const unsigned char* bytes, size_t count);
    size_t look;
    // The blocks that end a seekable input, found from its end.
    uint64_t (*trailing)(const input_window& input);
};

struct cut_run {
    const char* program = "";
    const tag_rules* tags = nullptr;
    cut_settings settings;
    cut_streams io;
    byte_reader reader;
    int64_t frame = -1;     // number of the frame being handled
    int64_t position = -1;  // input offset of the first byte of the pair under examination
    int64_t copied = 0;     // frames written to the output
    unsigned char previous = 0;
    unsigned char current = 0;
    int64_t header_offset = -1;  // output offset of the ADC header block; -1 when it cannot be found again
    uint64_t trailer = 0;  // bytes of tags behind the reader's limit, counted when the input was read to it
};

// Takes one option letter that both cutters have (a, b, e, F, i, l, o, u),
// with its argument; false for any other letter.
bool cut_option(int letter, const char* argument, cut_settings& settings);

// Whether frame number `frame` lies in the range.
inline bool in_range(const cut_run& run, int64_t frame)
{
    return run.settings.first <= frame && frame < run.settings.end;
}

// Starts a run: allocates the reader, writes the ADC header block with the
// requested count when asked, keeps the reader short of the tags that end a
// seekable input, passes over those that begin it, and reads the first pair.
// Returns 0 when a pair is ready, -1 when the input ends first, or 1 after a
// failure message.
int cut_begin(cut_run& run);

// The first byte of a sync pair, and the bits of the second byte that must
// equal `value` under `mask`.
struct sync_pair {
    unsigned char first;
    unsigned char mask;
    unsigned char value;
};

inline bool is_sync(const cut_run& run, const sync_pair& sync)
{
    return run.previous == sync.first && (run.current & sync.mask) == sync.value;
}

// The search of find_sync once the pair at hand is no sync.
bool search_sync(cut_run& run, const sync_pair& sync);

// Looks for the next sync pair, reporting stray bytes once a frame has been
// found and passing over the tags of the run where they begin.  Returns true
// with the pair in previous/current, false at the end of input.
inline bool find_sync(cut_run& run, const sync_pair& sync)
{
    // Back-to-back frames find their sync at once: no call for them.
    return is_sync(run, sync) || search_sync(run, sync);
}

// The pair at hand is no sync: reports a stray byte once a frame has been
// found and moves on by a byte.  False at the end of input.
bool pass_stray_byte(cut_run& run);

// After a frame of `consumed` bytes: advances the position and reads the
// next pair.  False at the end of input.
bool next_pair(cut_run& run, int64_t consumed);

// The closing steps: the summary line and the rewrite of the ADC header block
// with the copied count.  Returns the status so far (0, or 1 after a message).
int cut_end(cut_run& run);

// A read error of the input: prints the message and gives 1; 0 otherwise.
int read_status(const cut_run& run);

// A whole cut with the cutter's tags (or none): the start-up, its own scan
// loop (scan(run) gives 0, or 1 after a message), a read error check and the
// end steps.  Returns the status so far.
template <typename Scan>
int run_cut(const char* program, const cut_settings& settings, const cut_streams& streams, const tag_rules* tags,
            Scan scan)
{
    cut_run run;
    run.program = program;
    run.tags = tags;
    run.settings = settings;
    run.io = streams;
    const int begun = cut_begin(run);
    if (begun > 0)
        return begun;
    if (begun == 0 && scan(run) != 0)
        return 1;
    if (read_status(run) != 0)
        return 1;
    return cut_end(run);
}

// Writes the frame's bytes to the output; false after a failure message.
bool write_frame(cut_run& run, const unsigned char* bytes, size_t count);


// Log lines, flushed as they are written.
void log_frame_line(FILE* log, int64_t frame, int64_t position, size_t length, bool unique, uint32_t hash);
void log_nosync_line(FILE* log, int64_t frame, int64_t position, unsigned byte);
void log_summary_line(FILE* log, int64_t frames, int64_t position);
// A frame that the end of input cut short: got of length bytes were there
// (length 0 when not even the header was whole).
void log_short_frame_line(FILE* log, int64_t frame, int64_t position, size_t got, size_t length);

// A count as the ADC header holds it: counts beyond int saturate.
int clamp_count(int64_t count);

// The streams of a run as main opens them: the named files, or standard
// input and output.  The output gets a large buffer.
struct open_streams {
    FILE* in = nullptr;
    FILE* out = nullptr;
    std::unique_ptr<char[]> out_buffer;
};

// Opens -i and -o (the input first, so that a missing input does not
// truncate the output).  Returns 0, or 1 after the message.
int open_cut_streams(const char* program, const cut_settings& settings, open_streams& streams);

// Closes the output, then the input.  Returns the exit status: the given one
// when it is not 0, else 1 when the output or the log lines on standard
// output could not be written or the input not closed, else 0.
int close_cut_streams(const char* program, open_streams& streams, int status);
