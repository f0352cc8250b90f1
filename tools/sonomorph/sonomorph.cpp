#include "sonomorph.h"

#include "files.h"
#include "numbers.h"
#include "option.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

void sonomorph_usage()
{
    std::fprintf(stderr, "\nUsage:");
    std::fprintf(stderr, "\nsonomorph [-n] [-cchannels] [-f sfreq] [-ttype] [-ooutputfile] audiofile");
    std::fprintf(stderr, "\n       -n scale audio samples relative to range of new type\n");
    print_audio_types();
}

int sonomorph_options(int argc, char* argv[], sonomorph_settings& settings)
{
    int c;
    while ((c = get_option(argc, argv, "c:f:t:o:hn")) != -1) {
        switch (c) {
        case 'c': settings.channels = to_int(option_argument); break;
        case 'f': settings.sfreq = to_int(option_argument); break;
        case 't': settings.type_name = option_argument; break;
        case 'o': settings.output = option_argument; break;
        case 'n': settings.scale = true; break;
        case 'h':
            sonomorph_usage();
            return 0;
        default:
            sonomorph_usage();
            return 1;
        }
    }
    if (option_index < argc)
        settings.input = argv[option_index];
    return -1;
}

int get_scaling_bits(int type)
{
    const int bits = get_type_bits(type);
    const bool floating = type == AUDIO_ILS_F || type == AUDIO_SUN_F || bits == 64;
    const int result = floating ? 0 : bits - 1;
    std::fprintf(stderr, "get_scaling_bits for type: %2d precision: %2d => %2d\n", type, bits, result);
    return result;
}

int sonomorph_run(const sonomorph_settings& settings)
{
    // An output that is the input (named, or redirected to standard input)
    // would be emptied before a byte of it was read.
    const bool output_is_input =
        settings.output != AUDIO_TO_STDOUT &&
        (settings.input == AUDIO_FROM_STDIN ? names_open_file(settings.output.c_str(), stdin)
                                            : same_regular_file(settings.input.c_str(), settings.output.c_str()));
    if (output_is_input) {
        std::fprintf(stderr, "\nError: outputfile is the inputfile\n");
        return 1;
    }
    audio_header in{};
    audio_file* input = open_audio_file(settings.input.c_str(), "r", &in);
    if (input == nullptr) {
        std::fprintf(stderr, "\nError opening inputfile\n");
        return 1;
    }
    if (settings.channels > 0) {
        // Regroup the interleaved samples: the reader decodes with the
        // header's channel count at every call.  Counts from a header fit
        // 64 bits times their channels; anything beyond saturates.
        int64_t samples = 0;
        if (__builtin_mul_overflow(in.frames, int64_t{in.channels}, &samples))
            samples = in.frames < 0 ? INT64_MIN : INT64_MAX;
        in.frames = samples / settings.channels;
        in.channels = settings.channels;
    }

    // A header whose frames cannot be read (no channels, or a frame wider
    // than the sample buffer) would give an empty copy passed off as
    // success.  It is refused before the output is opened, so that a file of
    // the output's name keeps its contents.
    const int64_t frame_bytes = int64_t{in.channels} * audio_sample_bytes(in.type);
    if (in.channels < 1 || frame_bytes < 1 || frame_bytes > AUDIO_BUFFER_SIZE) {
        std::fprintf(stderr, "\nError: frames of %d channels cannot be read\n", in.channels);
        close_audio_file(input);
        return 1;
    }

    audio_header out{};
    copy_audio_header(&out, &in);
    if (!settings.type_name.empty())
        out.type = get_audio_type(settings.type_name.c_str(), AUDIO_WAVE_16);
    if (settings.sfreq > 0)
        out.sfreq = settings.sfreq;

    audio_file* output = open_audio_file(settings.output.c_str(), "w", &out);
    if (output == nullptr) {
        std::fprintf(stderr, "\nError opening outputfile\n");
        close_audio_file(input);
        return 1;
    }

    int scale_bits = 0;
    double scale_factor = 1.0;
    if (settings.scale) {
        const int from = get_scaling_bits(in.type);
        scale_bits = get_scaling_bits(out.type) - from;
        scale_factor = std::ldexp(1.0, scale_bits);
        std::fprintf(stderr, "scale_bits: %2d => scale_factor: %15.8e\n", scale_bits, scale_factor);
    }

    int64_t copied = 0;
    bool failed = false;
    const int result = copy_audio_frames(input, output, scale_factor, &copied);
    if (result != 0) {
        std::fprintf(stderr, result == -2   ? "\nError allocating frame buffer\n"
                             : result == -3 ? "\nError reading inputfile\n"
                                            : "\nError writing outputfile\n");
        failed = true;
    }

    if (close_audio_file(input) != 0)
        std::fprintf(stderr, "\nError closing file\n");
    if (close_audio_file(output) != 0) {
        std::fprintf(stderr, "\nError closing file\n");
        failed = true;
    }
    // A file whose samples were lost is not given a header that would vouch
    // for them.  Standard output and pipes keep the count known when their
    // header was written (the rewrite leaves them alone).
    if (failed)
        return 1;

    const int rewritten = rewrite_audio_header(settings.output.c_str(), &out, copied);
    if (rewritten == -1) {
        std::fprintf(stderr, "\nError opening outputfile\n");
        return 1;
    }
    if (rewritten < 0) {
        std::fprintf(stderr, "\nError closing file\n");
        return 1;
    }
    return 0;
}
