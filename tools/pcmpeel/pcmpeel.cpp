#include "pcmpeel.h"

#include "byteorder.h"
#include "double_precision.h"
#include "files.h"
#include "numbers.h"
#include "option.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

namespace {

// Samples decoded per library call: enough that call overhead vanishes, few
// enough that the doubles stay in cache.  Their bytes gather in a larger
// output buffer, so that writes are few.
constexpr int BLOCK_SAMPLES = 16384;
constexpr size_t OUTPUT_BYTES = size_t{1} << 20;

// floor(x + 0.5) as a 64-bit integer, without a library call; NaN and
// magnitudes of 2^63 or more give 0 (there is no integer to take bytes of).
// Each sum is rounded to double, as the rule takes it.
inline uint32_t round_low_bits(double x)
{
    const double t = in_double(x + 0.5);
    if (!(t >= -9223372036854775808.0 && t < 9223372036854775808.0))
        return 0;
    auto i = static_cast<int64_t>(t);
    if (static_cast<double>(i) > t)
        --i;  // truncation went up: negative non-integer
    return static_cast<uint32_t>(static_cast<uint64_t>(i));
}

template <int bytes>
inline void store_raw(unsigned char* p, uint32_t v)
{
    if constexpr (bytes == 1) {
        p[0] = static_cast<unsigned char>(v);
    } else if constexpr (bytes == 2) {
        store_le16(p, v);
    } else if constexpr (bytes == 3) {
        store_le16(p, v);
        p[2] = static_cast<unsigned char>(v >> 16);
    } else {
        store_le32(p, v);
    }
}

template <int bytes>
void encode_raw(const double* in, unsigned char* out, size_t samples)
{
    // One pass without branches, which the compiler makes vector code of.
    // Adding 1.5 * 2^52 leaves t rounded to the nearest integer (ties to
    // even; on the x87, which rounds the sum twice, it may be the other
    // integer next to t) in the low bits of the sum; where that went up,
    // the exact difference t - r is negative and its sign bit takes one
    // off.  This holds while |t| < 2^51; the pass also notes whether every
    // t lies inside (-2^31, 2^31), comparing bit patterns (whose order is
    // that of the magnitudes; a NaN lies outside), and if not, the block is
    // done again the exact way.
    constexpr double magic = 6755399441055744.0;
    constexpr uint64_t limit = 0x41E0000000000000u;  // the bits of 2^31
    uint64_t below = ~uint64_t{0};
    for (size_t i = 0; i < samples; ++i) {
        const double t = in_double(in[i] + 0.5);
        const double sum = in_double(t + magic);
        const double r = sum - magic;
        const uint64_t v = std::bit_cast<uint64_t>(sum) - (std::bit_cast<uint64_t>(t - r) >> 63);
        below &= (std::bit_cast<uint64_t>(t) & 0x7FFFFFFFFFFFFFFFu) - limit;  // wraps to the top bit when below
        store_raw<bytes>(out + bytes * i, static_cast<uint32_t>(v));
    }
    if (below >> 63 == 0) {
        for (size_t i = 0; i < samples; ++i)
            store_raw<bytes>(out + bytes * i, round_low_bits(in[i]));
    }
}

constexpr std::array<raw_encoder, 4> raw_encoders{encode_raw<1>, encode_raw<2>, encode_raw<3>, encode_raw<4>};

// Moves the input to frame first.  A named regular file seeks; standard
// input (whose data_offset counts only what was read of it) and anything
// that cannot seek, such as a FIFO, is read and dropped, and may end early,
// which leaves nothing to write.  False on a read error.
bool skip_to_first(audio_file* input, int64_t first, bool named, double* block, int block_frames)
{
    if (named && input->stream != stdin && is_regular_stream(input->stream) &&
        seek_audio_file(input, first, SEEK_SET) == 0)
        return true;
    int64_t left = first;
    int got = 0;
    while (left > 0 && read_audio_frames(block, static_cast<int>(std::min<int64_t>(left, block_frames)), &got, input) == 0)
        left -= got;
    return std::ferror(input->stream) == 0;
}

// Checks the range, then writes frames first .. end - 1 of the open input to
// out.  Returns the exit status.
int peel(audio_file* input, const audio_header& header, FILE* out, const pcmpeel_settings& settings)
{
    if (settings.first_set && settings.first > header.frames) {
        std::fprintf(stderr, "\nError: First sample exceeds number of samples\n");
        return 1;
    }
    int64_t end = header.frames;
    if (settings.end_set) {
        if (settings.end > header.frames) {
            std::fprintf(stderr, "\nError: Last sample exceeds number of samples\n");
            return 1;
        }
        end = settings.end;
    }
    // Before frame 0 lie only header bytes: a negative first starts at 0.
    const int64_t first = settings.first_set ? std::max<int64_t>(settings.first, 0) : 0;

    const raw_encoder encode = raw_encoder_for(settings.bytes);
    if (encode == nullptr) {
        std::fprintf(stderr, "Error only 1..4 bytes per sample supported\n");
        return 1;
    }
    const int channels = header.channels;
    const int64_t frame_bytes = int64_t{channels} * audio_sample_bytes(header.type);
    if (channels < 1 || frame_bytes < 1 || frame_bytes > AUDIO_BUFFER_SIZE) {
        std::fprintf(stderr, "\nError: frames of %d channels cannot be read\n", channels);
        return 1;
    }

    const int block_frames = std::max(1, BLOCK_SAMPLES / channels);
    const size_t block_bytes = static_cast<size_t>(block_frames) * static_cast<size_t>(channels) * static_cast<size_t>(settings.bytes);
    frame_buffer block(alloc_frame_buffer(block_frames * channels));
    if (!block) {
        std::fprintf(stderr, "\nError allocating frame buffer\n");
        return 1;
    }
    if (first > 0 && !skip_to_first(input, first, settings.named_input, block.get(), block_frames)) {
        std::fprintf(stderr, "\nError reading inputfile\n");
        return 1;
    }

    // Samples stored as the raw samples asked for (16, 24 or 32-bit WAVE
    // with the same width) move as they are, in the kernel between files.
    if (raw_sample_bytes(&header, AUDIO_MODE_READ) == settings.bytes) {
        int64_t copied = 0;
        const int result = end > first ? copy_audio_samples(input, out, end - first, &copied) : 0;
        if (result != 0) {
            std::fprintf(stderr, result == -3 ? "\nError reading inputfile\n" : "\nError writing outputfile\n");
            return 1;
        }
        return 0;
    }

    const size_t capacity = std::max(block_bytes, OUTPUT_BYTES);
    std::unique_ptr<unsigned char[]> raw(new (std::nothrow) unsigned char[capacity]);
    if (!raw) {
        std::fprintf(stderr, "\nError allocating frame buffer\n");
        return 1;
    }
    size_t fill = 0;
    const auto flush = [&] {
        const bool ok = std::fwrite(raw.get(), 1, fill, out) == fill;
        fill = 0;
        if (!ok)
            std::fprintf(stderr, "\nError writing outputfile\n");
        return ok;
    };
    int64_t position = first;
    int got = 0;
    while (position < end) {
        const int want = static_cast<int>(std::min<int64_t>(block_frames, end - position));
        if (read_audio_frames(block.get(), want, &got, input) != 0)
            break;
        const size_t samples = static_cast<size_t>(got) * static_cast<size_t>(channels);
        if (fill + block_bytes > capacity && !flush())
            return 1;
        encode(block.get(), raw.get() + fill, samples);
        fill += samples * static_cast<size_t>(settings.bytes);
        position += got;
    }
    if (fill > 0 && !flush())
        return 1;
    if (std::ferror(input->stream) != 0) {
        std::fprintf(stderr, "\nError reading inputfile\n");
        return 1;
    }
    return 0;
}

// Closes (or, for standard output, flushes) the output; false when anything
// written to it was lost.
bool close_output(FILE* out)
{
    bool ok = std::fflush(out) == 0 && std::ferror(out) == 0;
    if (out != stdout)
        ok = std::fclose(out) == 0 && ok;
    return ok;
}

}  // namespace

raw_encoder raw_encoder_for(int bytes)
{
    return bytes >= 1 && bytes <= 4 ? raw_encoders[static_cast<size_t>(bytes - 1)] : nullptr;
}

void pcmpeel_usage()
{
    std::fprintf(stderr, "\nUsage:");
    std::fprintf(stderr, "pcmpeel [-bbytes] [-ooutputfile] audiofile\n");
}

int pcmpeel_options(int argc, char* argv[], pcmpeel_settings& settings)
{
    int c;
    while ((c = get_option(argc, argv, "b:f:o:ht:")) != -1) {
        switch (c) {
        case 'b': settings.bytes = to_int(option_argument); break;
        case 'f':
            settings.first = to_int64(option_argument);
            settings.first_set = true;
            break;
        case 't':
            settings.end = to_int64(option_argument);
            settings.end_set = true;
            break;
        case 'o':
            settings.output = option_argument;
            settings.output_set = true;
            break;
        case 'h':
            pcmpeel_usage();
            return 0;
        default:
            pcmpeel_usage();
            return 1;
        }
    }
    if (option_index < argc) {
        settings.input = argv[option_index];
        settings.named_input = true;
    }
    return -1;
}

int pcmpeel_run(const pcmpeel_settings& settings)
{
    // The output is created first, so that a bad output name is reported
    // before the input is looked at.
    FILE* out = stdout;
    // An output that is the input (named, or redirected to standard input)
    // would be emptied before a byte of it was read.
    const bool output_is_input =
        settings.output_set && (settings.input == AUDIO_FROM_STDIN
                                    ? names_open_file(settings.output.c_str(), stdin)
                                    : same_regular_file(settings.output.c_str(), settings.input.c_str()));
    if (output_is_input) {
        std::fprintf(stderr, "\nError: outputfile is the inputfile\n");
        return 1;
    }
    if (settings.output_set) {
        out = std::fopen(settings.output.c_str(), "wb");
        if (out == nullptr) {
            std::fprintf(stderr, "\nError opening outputfile\n");
            return 1;
        }
    }

    audio_header header{};
    int status = 1;
    audio_file* input = open_audio_file(settings.input.c_str(), "r", &header);
    if (input == nullptr) {
        std::fprintf(stderr, "\nError opening inputfile\n");
    } else {
        status = peel(input, header, out, settings);
        if (close_audio_file(input) != 0)
            std::fprintf(stderr, "\nError closing file\n");
    }
    if (!close_output(out)) {
        std::fprintf(stderr, "\nError closing file\n");
        status = 1;
    }
    return status;
}
