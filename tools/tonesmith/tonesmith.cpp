#include "tonesmith.h"

#include "numbers.h"
#include "option.h"
#include "portable_math.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// The signal, sample by sample, with a running phase so that a sweep stays
// continuous.  Every step is a double operation in the order the signal has
// always been made, and sin, exp and log are our own, so that with a
// double_precision_scope the files come out bit for bit the same on every
// machine.
struct tone_generator {
    double two_pi = 0x1.921fb54442d18p+2;  // 8 atan(1), as always
    double amplitude;
    double sfreq;
    double frequency;
    double increment;
    double phase = 0.0;
    double ratio;
    double step;
    bool sweep;
    bool logarithmic;

    explicit tone_generator(const tonesmith_settings& s)
        : amplitude(s.amplitude), sfreq(s.sfreq), frequency(s.start), sweep(s.sweep), logarithmic(s.logarithmic)
    {
        increment = two_pi * s.start / sfreq;
        // Both laws are worked out; only -S uses them (and -n 1 never does).
        ratio = portable_exp((portable_log(s.end) - portable_log(s.start)) / s.frames);
        step = (s.end - s.start) / (s.frames - 1.0);
    }

    double next()
    {
        const double value = amplitude * portable_sin(phase);
        if (sweep) {
            frequency = logarithmic ? frequency * ratio : frequency + step;
            increment = two_pi * frequency / sfreq;
        }
        phase = phase + increment;
        return value;
    }
};

struct free_deleter {
    void operator()(double* p) const { std::free(p); }
};

constexpr int BLOCK_FRAMES = 4096;

}  // namespace

void tonesmith_usage()
{
    std::fprintf(stderr, "tonesmith [-h] prints this message\n");
    std::fprintf(stderr, "           [-a amplitude]\n");
    std::fprintf(stderr, "           [-c channels]\n");
    std::fprintf(stderr, "           [-f sampling frequency]\n");
    std::fprintf(stderr, "           [-L] logaritmic sweep\n");
    std::fprintf(stderr, "           [-n number of samples]\n");
    std::fprintf(stderr, "           [-s sinus frequency]\n");
    std::fprintf(stderr, "           [-S sweep end frequency]\n");
    std::fprintf(stderr, "           [-t type of the audio file]\n");
    std::fprintf(stderr, "           [audiofile]\n");
    print_audio_types();
}

int tonesmith_options(int argc, char* argv[], tonesmith_settings& settings)
{
    int c;
    while ((c = get_option(argc, argv, "a:c:f:n:s:S:t:hL")) != -1) {
        switch (c) {
        case 'a': settings.amplitude = to_double(option_argument); break;
        case 'c': settings.channels = truncate_to_int(to_double(option_argument)); break;
        case 'f': settings.sfreq = to_int(option_argument); break;
        case 'L': settings.logarithmic = true; break;
        case 'n': settings.frames = to_int(option_argument); break;
        case 's': settings.start = to_double(option_argument); break;
        case 'S':
            settings.end = to_double(option_argument);
            settings.sweep = true;
            break;
        case 't': settings.type_name = option_argument; break;
        default:  // -h and option errors alike
            tonesmith_usage();
            return 1;
        }
    }
    if (option_index < argc)
        settings.output = argv[option_index];
    return -1;
}

void tonesmith_generate(const tonesmith_settings& settings, double* values, int count)
{
    const double_precision_scope precision;
    tone_generator generator(settings);
    for (int i = 0; i < count; ++i)
        values[i] = generator.next();
}

int tonesmith_run(const tonesmith_settings& settings)
{
    if (settings.channels < 1) {
        std::fprintf(stderr, "tonesmith: the channel count must be at least 1\n");
        return 1;
    }
    if (settings.sfreq < 1) {
        std::fprintf(stderr, "tonesmith: the sampling frequency must be at least 1 Hz\n");
        return 1;
    }
    if (settings.frames < 0) {
        std::fprintf(stderr, "tonesmith: the number of samples must not be negative\n");
        return 1;
    }
    if (settings.sweep && settings.logarithmic && !(settings.start > 0.0 && settings.end > 0.0)) {
        std::fprintf(stderr, "tonesmith: a logarithmic sweep needs start and end frequencies above 0 Hz\n");
        return 1;
    }

    audio_header header{};
    init_audio_header(&header);
    header.frames = settings.frames;
    header.channels = settings.channels;
    header.sfreq = settings.sfreq;
    header.type = get_audio_type(settings.type_name.c_str(), AUDIO_WAVE_16);

    audio_file* output = open_audio_file(settings.output.c_str(), "w", &header);
    if (output == nullptr) {
        std::fprintf(stderr, "%s: Error opening output file.\n", settings.output.c_str());
        return 1;
    }

    const int channels = settings.channels;
    const int block_frames = std::max(1, std::min(BLOCK_FRAMES, (1 << 20) / channels));
    std::unique_ptr<double[], free_deleter> block(alloc_frame_buffer(block_frames * channels));
    bool failed = !block;
    if (failed)
        std::fprintf(stderr, "tonesmith: out of memory\n");

    const double_precision_scope precision;
    tone_generator generator(settings);
    for (int done = 0; !failed && done < settings.frames;) {
        const int n = std::min(block_frames, settings.frames - done);
        double* frame = block.get();
        for (int i = 0; i < n; ++i, frame += channels)
            std::fill_n(frame, channels, generator.next());
        if (write_audio_frames(block.get(), n, output) != 0) {
            std::fprintf(stderr, "%s: Error writing output file.\n", settings.output.c_str());
            failed = true;
        }
        done += n;
    }
    block.reset();

    if (close_audio_file(output) != 0) {
        std::fprintf(stderr, "%s: Error closing input audio file.\n", settings.output.c_str());
        return 1;
    }
    return failed ? 1 : 0;
}
