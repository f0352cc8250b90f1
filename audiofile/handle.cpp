// Opening and closing audio files, the reader chain and writer dispatch,
// seeking by frames and the in-place header rewrite.
#include "audiofile.h"
#include "codec.h"
#include "formats.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

bool is_standard_stream(FILE* stream) { return stream == stdin || stream == stdout; }

void close_stream(FILE* stream)
{
    if (stream != nullptr && !is_standard_stream(stream))
        std::fclose(stream);
}

struct reader_step {
    int (*read)(FILE*, audio_header*);
    int broken;           // the reader's code for a file of its format it cannot use
    const char* message;  // printed when it answers so
    int not_mine;
};

// Probe order is fixed: the ILS reader, which has no magic number, comes last.
constexpr reader_step reader_chain[] = {
    {read_sun_header, SUN_BROKEN, "\nError reading SUN audio file", SUN_NOT_MINE},
    {read_wave_header, WAVE_BROKEN, "\nError reading WAVE file", WAVE_NOT_MINE},
    {read_aiff_header, AIFF_BROKEN, "\nError reading AIFF/AIFC file", AIFF_NOT_MINE},
    {read_spw_header, SPW_BROKEN, "\nError reading SPW file", SPW_NOT_MINE},
};

}  // namespace

int read_audio_header(FILE* stream, audio_header* header)
{
    probe_fill = 0;
    stated_data_size = -1;
    for (const reader_step& step : reader_chain) {
        const int result = step.read(stream, header);
        if (result == step.broken) {
            std::fprintf(stderr, "%s", step.message);
            return result;
        }
        if (result != step.not_mine)
            return 0;
    }
    const int result = read_ils_header(stream, header);
    if (result == NOT_RECOGNISED)
        std::fprintf(stderr, "\nInputfile error: filetype not recognized !\n");
    return result;
}

namespace {

struct channel_limit {
    const char* family;
    int most;
};

// The channel fields of WAVE and AIFF are 16 bits that readers take as
// signed; the ILS channel byte is read back as a signed number plus one.
channel_limit channel_limit_of(int type)
{
    if (type == AUDIO_ILS || type == AUDIO_ILS_F || type == AUDIO_ILS_D)
        return {"ILS", 128};
    if (type == AUDIO_SPW || type == AUDIO_SPW_D)
        return {"SPW", INT32_MAX};  // one signal of every sample
    if (type >= AUDIO_WAVE && type <= AUDIO_WAVE_32)
        return {"WAVE", 32767};
    if (type >= AUDIO_SUN && type <= AUDIO_SUN_D)
        return {"SUN", INT32_MAX};
    if (type >= AUDIO_AIFC && type <= AUDIO_AIFC_32)
        return {"AIFC", 32767};
    return {"AIFF", 32767};
}

}  // namespace

int max_audio_channels(int type) { return channel_limit_of(type).most; }

int write_audio_header(FILE* stream, audio_header* header)
{
    const int type = header->type;
    if (type == AUDIO_ILS || type == AUDIO_ILS_F || type == AUDIO_ILS_D)
        write_ils_header(stream, header);
    else if (type == AUDIO_SPW || type == AUDIO_SPW_D)
        write_spw_header(stream, header);
    else if (type >= AUDIO_WAVE && type <= AUDIO_WAVE_32)
        write_wave_header(stream, header);
    else if (type >= AUDIO_SUN && type <= AUDIO_SUN_D)
        write_sun_header(stream, header);
    else
        write_aiff_header(stream, header);
    return 0;
}

audio_file* open_audio_file(const char* name, const char* mode, audio_header* header)
{
    std::unique_ptr<audio_file> file(new (std::nothrow) audio_file{});
    if (!file) {
        std::perror("Filehandle");
        return nullptr;
    }
    const bool is_stdin = std::strcmp(name, AUDIO_FROM_STDIN) == 0;
    const bool is_stdout = std::strcmp(name, AUDIO_TO_STDOUT) == 0;

    if (mode[0] == 'r') {
        if (mode[1] == '+') {
            if (is_stdin || is_stdout) {
                std::fprintf(stderr, "\nUnable to update stdin/stdout !!");
                return nullptr;
            }
            file->mode = AUDIO_MODE_UPDATE;
        } else {
            file->mode = AUDIO_MODE_READ;
        }
        file->header = header;
        file->stream = is_stdin ? stdin : std::fopen(name, file->mode == AUDIO_MODE_UPDATE ? "rb+" : "rb");
        if (file->stream == nullptr) {
            std::perror(name);
            return nullptr;
        }
        if (read_audio_header(file->stream, header) != 0) {
            close_stream(file->stream);
            return nullptr;
        }
        file->data_left = stated_data_size;
    } else if (mode[0] == 'w') {
        if (is_stdin) {
            std::fprintf(stderr, "\nUnable to write stdin !!");
            return nullptr;
        }
        // A header that cannot hold the channel count would describe other
        // frames than those written; say so before any file is touched.
        const channel_limit limit = channel_limit_of(header->type);
        if (header->channels > limit.most) {
            std::fprintf(stderr, "\nError: %s headers hold at most %d channels, not %d", limit.family, limit.most,
                         header->channels);
            return nullptr;
        }
        file->header = header;
        file->mode = AUDIO_MODE_WRITE;
        file->stream = is_stdout ? stdout : std::fopen(name, "wb");
        if (file->stream == nullptr) {
            std::perror(name);
            return nullptr;
        }
        write_audio_header(file->stream, header);
        file->data_left = -1;
    } else {
        return nullptr;  // no program uses other modes
    }

    file->buffer.reset(new (std::nothrow) unsigned char[AUDIO_BUFFER_SIZE]);
    if (!file->buffer) {
        std::perror("Filehandle");
        close_stream(file->stream);
        return nullptr;
    }
    file->buffer_index = 0;
    file->buffer_frames = 0;
    return file.release();
}

int close_audio_file(audio_file* file)
{
    std::unique_ptr<audio_file> owned(file);  // released whatever happens below
    bool failed = file->write_failed;
    if (file->mode == AUDIO_MODE_WRITE || file->mode == AUDIO_MODE_UPDATE) {
        const int bytes = audio_sample_bytes(file->header->type);
        if (file->buffer_index > 0 && bytes > 0 && file->header->channels > 0)
            failed |= !flush_audio_buffer(file, int64_t{file->header->channels} * bytes);
        // Lost bytes show up here at the latest, also for standard output.
        failed |= std::fflush(file->stream) != 0 || std::ferror(file->stream) != 0;
    }
    if (!is_standard_stream(file->stream))
        failed |= std::fclose(file->stream) != 0;
    if (failed) {
        std::fprintf(stderr, "\nError closing file");
        return -1;
    }
    return 0;
}

int seek_audio_file(audio_file* file, int64_t frames, int origin)
{
    if (file->mode == AUDIO_MODE_WRITE) {
        std::fprintf(stderr, "\nSeek attempt at outputfile");
        return 82;
    }
    // Frames times channels fits 64 bits only for sane headers; a header
    // with an absurd channel count makes the distance overflow.
    int64_t distance = 0;
    if (__builtin_mul_overflow(frames, int64_t{file->header->channels}, &distance) ||
        __builtin_mul_overflow(distance, int64_t{get_type_bits(file->header->type) / 8}, &distance)) {
        std::fprintf(stderr, "\nInvalid seek attempt");
        return -1;
    }

    struct stat status {};
    if (fstat(fileno(file->stream), &status) == 0 && (status.st_mode & S_IFMT) != 0) {
        int64_t offset = distance;
        if (origin == SEEK_SET && __builtin_add_overflow(distance, int64_t{file->header->data_offset}, &offset)) {
            std::fprintf(stderr, "\nInvalid seek attempt");
            return -1;
        }
        // The end of the data stays where the header put it: data_left
        // counts from the stream's position.
        const int64_t before = ftello(file->stream);
        if (fseeko(file->stream, static_cast<off_t>(offset), origin) != 0) {
            std::fprintf(stderr, "\nInvalid seek attempt");
            return -1;
        }
        file->buffer_index = 0;
        if (file->data_left >= 0 && before >= 0)
            file->data_left = std::max<int64_t>(before + file->data_left - ftello(file->stream), 0);
        return 0;
    }
    if (distance > 0) {
        const uint64_t wanted = file->data_left >= 0 ? std::min<uint64_t>(static_cast<uint64_t>(distance),
                                                                          static_cast<uint64_t>(file->data_left))
                                                     : static_cast<uint64_t>(distance);
        if (skip_bytes(file->stream, wanted) != 0 || wanted < static_cast<uint64_t>(distance))
            std::fprintf(stderr, "\nSeek beyond EOF");
        if (file->data_left >= 0)
            file->data_left -= static_cast<int64_t>(wanted);
    }
    return 0;
}

int rewrite_audio_header(const char* name, audio_header* header, int64_t frames)
{
    // Standard output cannot be reopened; reading a pipe's header back would
    // wait for ever, and a device has none.
    struct stat status {};
    if (std::strcmp(name, AUDIO_TO_STDOUT) == 0 || (stat(name, &status) == 0 && !S_ISREG(status.st_mode)))
        return 1;
    const int32_t channels = header->channels;
    audio_file* file = open_audio_file(name, "r+", header);
    if (file == nullptr)
        return -1;
    // The reopen read the header back; an SPW header reads as one channel, so
    // the count of samples is kept right by restoring the written grouping.
    header->channels = channels;
    header->frames = frames;
    bool failed = std::fseek(file->stream, 0, SEEK_SET) != 0;
    if (!failed)
        write_audio_header(file->stream, header);
    failed |= close_audio_file(file) != 0;
    return failed ? -2 : 0;
}
