#include "cutter.h"

#include "numbers.h"

#include "bitstream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstring>
#include <new>

bool reader_init(byte_reader& reader, FILE* stream, size_t capacity)
{
    reader.stream = stream;
    reader.buffer.reset(new (std::nothrow) unsigned char[capacity]);
    reader.capacity = reader.buffer ? capacity : 0;
    reader.start = reader.end = 0;
    reader.at_end = false;
    reader.failed = false;
    reader.total = 0;
    reader.limit = UINT64_MAX;
    return reader.buffer != nullptr;
}

bool reader_fill(byte_reader& reader, size_t keep, size_t want)
{
    if (reader.end - reader.start >= want)
        return true;
    if (!reader.at_end) {
        const size_t from = reader.start - keep;
        if (from > 0) {
            std::memmove(reader.buffer.get(), reader.buffer.get() + from, reader.end - from);
            reader.start -= from;
            reader.end -= from;
        }
        // fread returns short only at the end of the stream or on an error.
        size_t room = reader.capacity - reader.end;
        if (room == 0)
            return reader.end > reader.start;  // a piece larger than the buffer: hand out what is there
        if (reader.limit - reader.total < room)
            room = static_cast<size_t>(reader.limit - reader.total);
        const size_t got = room > 0 ? std::fread(reader.buffer.get() + reader.end, 1, room, reader.stream) : 0;
        reader.end += got;
        reader.total += got;
        if (got < room) {
            reader.at_end = true;
            reader.failed = std::ferror(reader.stream) != 0;
            reader.error = reader.failed ? errno : 0;
        } else if (reader.total == reader.limit) {
            reader.at_end = true;
        }
    }
    return reader.end > reader.start;
}

unsigned char* take_bytes(byte_reader& reader, size_t behind, size_t more, size_t& got)
{
    if (reader.end - reader.start < more)
        reader_fill(reader, behind, more);
    const size_t ready = reader.end - reader.start;
    got = more < ready ? more : ready;
    unsigned char* bytes = reader.buffer.get() + (reader.start - behind);
    reader.start += got;
    return bytes;
}

const unsigned char* peek_bytes(byte_reader& reader, size_t behind, size_t count, size_t& got)
{
    if (count > behind)
        reader_fill(reader, behind, count - behind);
    const size_t from = reader.start - behind;
    const size_t ready = reader.end - from;
    got = count < ready ? count : ready;
    return reader.buffer.get() + from;
}

uint64_t skip_bytes(byte_reader& reader, uint64_t count)
{
    uint64_t skipped = 0;
    while (skipped < count) {
        if (reader.start == reader.end && !reader_fill(reader, 0, 1))
            break;
        const size_t ready = reader.end - reader.start;
        const size_t step = count - skipped < ready ? static_cast<size_t>(count - skipped) : ready;
        reader.start += step;
        skipped += step;
    }
    return skipped;
}

int clamp_count(int64_t count)
{
    if (count > INT_MAX)
        return INT_MAX;
    if (count < INT_MIN)
        return INT_MIN;
    return static_cast<int>(count);
}

void log_frame_line(FILE* log, int64_t frame, int64_t position, size_t length, bool unique, uint32_t hash)
{
    if (unique)
        std::fprintf(log, "start of frame: %8" PRId64 " at pos: %10" PRId64 " len: %6zu unique: %8X\n", frame,
                     position, length, static_cast<unsigned>(hash));
    else
        std::fprintf(log, "start of frame: %8" PRId64 " at pos: %10" PRId64 " len: %6zu\n", frame, position, length);
    std::fflush(log);
}

void log_nosync_line(FILE* log, int64_t frame, int64_t position, unsigned byte)
{
    std::fprintf(log, "nosync of frame: %8" PRId64 " at pos: %10" PRId64 " byte: %2x\n", frame, position, byte);
    std::fflush(log);
}

void log_summary_line(FILE* log, int64_t frames, int64_t position)
{
    std::fprintf(log, "Frames: %8" PRId64 " bytes: %10" PRId64 "\n", frames, position);
    std::fflush(log);
}

void log_short_frame_line(FILE* log, int64_t frame, int64_t position, size_t got, size_t length)
{
    if (length == 0)
        std::fprintf(log, "Warning: input ends inside the header of frame: %8" PRId64 " at pos: %10" PRId64 ".\n",
                     frame, position);
    else
        std::fprintf(log, "Warning: input ends inside frame: %8" PRId64 " at pos: %10" PRId64 ", %zu of %zu bytes read.\n",
                     frame, position, got, length);
    std::fflush(log);
}

namespace {

void write_error(const cut_run& run)
{
    std::fprintf(run.io.err, "%s: Error writing outputfile: %s.\n", run.program, std::strerror(errno));
}

// Where the header block can be found again at the end: the output's
// position, unless the output cannot be repositioned or every write goes to
// its end anyway.
int64_t header_position(FILE* out)
{
    const int fd = fileno(out);
    if (fd >= 0) {
        const int flags = fcntl(fd, F_GETFL);
        if (flags != -1 && (flags & O_APPEND) != 0)
            return -1;
    }
    return ftello(out);
}

}  // namespace

namespace {

// Passes over `count` bytes from the current byte on: the position counter
// moves past them and the byte after them becomes the current byte, with no
// byte before it.  False when the input ends first.
bool pass_input(cut_run& run, uint64_t count)
{
    // The current byte is the first of them.
    run.position += static_cast<int64_t>(1 + skip_bytes(run.reader, count - 1));
    run.previous = 0;
    return next_byte(run.reader, run.current);
}

// Where the input can be repositioned, the tags found from its end are kept
// out of the reader's reach and counted at the end.  False after a failed
// return to the start (the read error is set then).
bool limit_to_trailing_tags(cut_run& run)
{
    FILE* in = run.io.in;
    input_window input{in, ftello(in), 0};
    if (input.start < 0 || fseeko(in, 0, SEEK_END) != 0) {
        std::clearerr(in);
        return true;  // a pipe
    }
    const off_t end = ftello(in);
    input.size = end > input.start ? static_cast<uint64_t>(end - input.start) : 0;
    const uint64_t tags = input.size > 0 ? run.tags->trailing(input) : 0;
    std::clearerr(in);
    if (fseeko(in, input.start, SEEK_SET) != 0) {
        run.reader.failed = true;
        run.reader.error = errno;
        return false;
    }
    if (tags > 0) {
        run.reader.limit = input.size - tags;
        run.trailer = tags;
    }
    return true;
}

// The length of a tag beginning at the previous byte.
uint64_t tag_at_pair(cut_run& run)
{
    if (run.tags == nullptr)
        return 0;
    size_t got = 0;
    const unsigned char* bytes = peek_bytes(run.reader, 2, run.tags->look, got);
    return run.tags->leading(bytes, got);
}

}  // namespace

bool read_window(const input_window& input, uint64_t offset, unsigned char* bytes, size_t count)
{
    return offset <= input.size && count <= input.size - offset &&
           fseeko(input.stream, input.start + static_cast<off_t>(offset), SEEK_SET) == 0 &&
           std::fread(bytes, 1, count, input.stream) == count;
}

int cut_begin(cut_run& run)
{
    if (!reader_init(run.reader, run.io.in, run.settings.read_buffer_bytes)) {
        std::fprintf(run.io.err, "%s: Error allocating the input buffer.\n", run.program);
        return 1;
    }
    if (run.settings.adc_header) {
        run.header_offset = header_position(run.io.out);
        const int64_t requested = int64_t{run.settings.end} - run.settings.first;
        if (!write_adc_header(run.io.out, clamp_count(requested))) {
            write_error(run);
            return 1;
        }
    }
    if (run.tags != nullptr && run.tags->trailing != nullptr && !limit_to_trailing_tags(run))
        return read_status(run);
    run.previous = 0;
    bool ready = next_byte(run.reader, run.current);
    // Tags at the start begin at the current byte, with none before it.
    while (ready && run.tags != nullptr) {
        size_t got = 0;
        const unsigned char* bytes = peek_bytes(run.reader, 1, run.tags->look, got);
        const uint64_t length = run.tags->leading(bytes, got);
        if (length == 0)
            break;
        ready = pass_input(run, length);
    }
    // No byte before the first is a sync: the first pair is the first two bytes.
    if (ready)
        ready = pass_stray_byte(run);
    if (!ready)
        return read_status(run) != 0 ? 1 : -1;
    return 0;
}

bool pass_stray_byte(cut_run& run)
{
    if (run.frame >= 0)
        log_nosync_line(run.io.log, run.frame, run.position, run.current);
    ++run.position;
    run.previous = run.current;
    return next_byte(run.reader, run.current);
}

bool search_sync(cut_run& run, const sync_pair& sync)
{
    for (;;) {
        if (is_sync(run, sync))
            return true;
        const uint64_t tag = tag_at_pair(run);
        if (tag > 0) {
            // The pair is its first two bytes.
            run.position += static_cast<int64_t>(2 + skip_bytes(run.reader, tag - 2));
            if (!next_byte(run.reader, run.previous) || !next_byte(run.reader, run.current))
                return false;
        } else if (!pass_stray_byte(run)) {
            return false;
        }
    }
}

bool next_pair(cut_run& run, int64_t consumed)
{
    run.position += consumed;
    return next_byte(run.reader, run.previous) && next_byte(run.reader, run.current);
}

int cut_end(cut_run& run)
{
    // The frame counter reaches the end of the range only at a fast stop;
    // otherwise the input was read to the reader's limit.
    if (!(run.settings.fast && run.frame >= run.settings.end))
        run.position += static_cast<int64_t>(run.trailer);
    log_summary_line(run.io.log, run.frame + 1, run.position);
    if (!run.settings.adc_header)
        return 0;
    if (run.header_offset < 0 || fseeko(run.io.out, static_cast<off_t>(run.header_offset), SEEK_SET) != 0) {
        if (std::ferror(run.io.out)) {
            write_error(run);
        } else {
            std::fprintf(run.io.err,
                         "%s: Error: the output cannot be repositioned; the ADC bitstream header keeps the "
                         "requested count.\n",
                         run.program);
        }
        return 1;
    }
    if (!write_adc_header(run.io.out, clamp_count(run.copied))) {
        write_error(run);
        return 1;
    }
    return 0;
}

bool write_frame(cut_run& run, const unsigned char* bytes, size_t count)
{
    if (std::fwrite(bytes, 1, count, run.io.out) == count)
        return true;
    write_error(run);
    return false;
}

int read_status(const cut_run& run)
{
    if (!run.reader.failed)
        return 0;
    std::fprintf(run.io.err, "%s: Error reading inputfile: %s.\n", run.program, std::strerror(run.reader.error));
    return 1;
}

namespace {

// Whether the output path names the file already open as the input; opening
// it for writing would truncate the input before a byte of it is read.
bool same_file(FILE* in, const char* output)
{
    struct stat in_status{};
    struct stat out_status{};
    return fstat(fileno(in), &in_status) == 0 && S_ISREG(in_status.st_mode) &&
           stat(output, &out_status) == 0 && in_status.st_dev == out_status.st_dev &&
           in_status.st_ino == out_status.st_ino;
}

}  // namespace

int open_cut_streams(const char* program, const cut_settings& settings, open_streams& streams)
{
    streams.in = stdin;
    streams.out = stdout;
    if (settings.input != nullptr) {
        streams.in = std::fopen(settings.input, "rb");
        if (streams.in == nullptr) {
            std::fprintf(stderr, "%s: Error opening inputfile: %s.\n", program, settings.input);
            return 1;
        }
    }
    if (settings.output != nullptr) {
        if (same_file(streams.in, settings.output)) {
            std::fprintf(stderr, "%s: Error: outputfile is the inputfile: %s.\n", program, settings.output);
            std::fclose(streams.in);
            streams.in = nullptr;
            return 1;
        }
        streams.out = std::fopen(settings.output, "wb");
        if (streams.out == nullptr) {
            std::fprintf(stderr, "%s: Error opening outputfile: %s.\n", program, settings.output);
            std::fclose(streams.in);
            streams.in = nullptr;
            return 1;
        }
    }
    streams.out_buffer.reset(new (std::nothrow) char[WRITE_BUFFER_BYTES]);
    if (streams.out_buffer)
        std::setvbuf(streams.out, streams.out_buffer.get(), _IOFBF, WRITE_BUFFER_BYTES);
    return 0;
}

int close_cut_streams(const char* program, open_streams& streams, int status)
{
    bool failed = false;
    const bool out_is_stdout = streams.out == stdout;
    if (streams.out != nullptr) {
        // An error may have been left by a log line on the same stream.
        const bool had_error = std::ferror(streams.out) != 0;
        const bool close_failed = std::fclose(streams.out) != 0;
        if (had_error || close_failed) {
            if (status == 0) {
                if (close_failed)
                    std::fprintf(stderr, "%s: Error writing outputfile: %s.\n", program, std::strerror(errno));
                else
                    std::fprintf(stderr, "%s: Error writing outputfile.\n", program);
            }
            failed = true;
        }
        streams.out = nullptr;
    }
    streams.out_buffer.reset();
    // The log lines go to standard output, each flushed as written; with
    // the frames in a file, a lost line shows only here.
    if (!out_is_stdout && (std::fflush(stdout) != 0 || std::ferror(stdout) != 0)) {
        if (status == 0)
            std::fprintf(stderr, "%s: Error writing the log to standard output.\n", program);
        failed = true;
    }
    if (streams.in != nullptr) {
        if (std::fclose(streams.in) != 0)
            failed = true;
        streams.in = nullptr;
    }
    if (status != 0)
        return status;
    return failed ? 1 : 0;
}

bool cut_option(int letter, const char* argument, cut_settings& settings)
{
    switch (letter) {
    case 'a': settings.adc_header = true; return true;
    case 'b': settings.first = to_int(argument); return true;
    case 'e': settings.end = to_int(argument); return true;
    case 'F': settings.fast = true; return true;
    case 'i': settings.input = argument; return true;
    case 'l': settings.log_frames = true; return true;
    case 'o': settings.output = argument; return true;
    case 'u': settings.unique = true; return true;
    default: return false;
    }
}
