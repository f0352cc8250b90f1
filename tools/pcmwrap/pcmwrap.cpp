#include "pcmwrap.h"

#include "byteorder.h"
#include "files.h"
#include "numbers.h"
#include "option.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

namespace {

// Samples per block of output frames: large enough that reads and library
// calls are few, small enough that the values stay in cache.
constexpr int BLOCK_SAMPLES = 16384;

template <int bytes>
inline int32_t load_raw(const unsigned char* p)
{
    if constexpr (bytes == 1)
        return static_cast<signed char>(p[0]);
    else if constexpr (bytes == 2)
        return static_cast<int16_t>(load_le16(p));
    else if constexpr (bytes == 3)
        return static_cast<int32_t>(uint32_t{p[2]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[0]} << 8) >> 8;
    else
        return static_cast<int32_t>(load_le32(p));
}

template <int bytes>
void decode_raw(const unsigned char* in, int32_t* out, size_t frames, size_t group, size_t stride)
{
    if (group == stride) {  // a lone input: one contiguous run
        group *= frames;
        frames = 1;
    }
    for (size_t f = 0; f < frames; ++f) {
        int32_t* slot = out + f * stride;
        for (size_t j = 0; j < group; ++j, in += bytes)
            slot[j] = load_raw<bytes>(in);
    }
}

constexpr std::array<raw_decoder, 4> raw_decoders{decode_raw<1>, decode_raw<2>, decode_raw<3>, decode_raw<4>};

constexpr std::array<int, 4> aiff_types{AUDIO_AIFF_8, AUDIO_AIFF_16, AUDIO_AIFF_24, AUDIO_AIFF_32};

struct raw_input {
    std::string name;
    FILE* stream;
};

// The input that name leads to, if any: opening it for writing would empty
// it before it was read.
const raw_input* output_among_inputs(const std::string& name, const std::vector<raw_input>& inputs)
{
    for (const raw_input& input : inputs)
        if (names_open_file(name.c_str(), input.stream))
            return &input;
    return nullptr;
}

// Reads the inputs side by side into frames and writes them to the open
// output until the shortest input ends; a partial frame at the end is
// dropped.  Returns false after a message when reading or writing failed;
// *frames counts the frames written.
bool copy_frames(const std::vector<raw_input>& inputs, const pcmwrap_settings& settings, audio_file* output,
                 int64_t* frames)
{
    const raw_decoder decode = raw_decoder_for(settings.bytes);
    const auto group = static_cast<size_t>(settings.channels);
    const auto stride = static_cast<size_t>(output->header->channels);
    const size_t group_bytes = group * static_cast<size_t>(settings.bytes);
    const size_t block_frames = std::max<size_t>(1, BLOCK_SAMPLES / stride);

    std::unique_ptr<int32_t[]> block(new (std::nothrow) int32_t[block_frames * stride]);
    std::unique_ptr<unsigned char[]> raw(new (std::nothrow) unsigned char[block_frames * group_bytes]);
    if (!block || !raw) {
        std::fprintf(stderr, "\nError allocating frame buffer\n");
        return false;
    }

    *frames = 0;
    bool more = true;
    while (more) {
        size_t whole = block_frames;
        for (size_t k = 0; k < inputs.size(); ++k) {
            // fread comes back short only at the end of the input (or on an
            // error), so a short block is the last one.
            const size_t got = read_audio_bytes(inputs[k].stream, raw.get(), block_frames * group_bytes) / group_bytes;
            if (got < block_frames)
                more = false;
            whole = std::min(whole, got);
            decode(raw.get(), block.get() + k * group, got, group, stride);
        }
        if (whole > 0 && write_audio_integers(block.get(), static_cast<int>(whole), output) != 0) {
            std::fprintf(stderr, "\nError writing outputfile\n");
            return false;
        }
        *frames += static_cast<int64_t>(whole);
    }
    for (const raw_input& input : inputs) {
        if (std::ferror(input.stream) != 0) {
            std::fprintf(stderr, "Error: reading inputfile: %s\n", input.name.c_str());
            return false;
        }
    }
    return true;
}

// Checks the settings, writes the output and corrects its header.  Returns
// the exit status.
int wrap(const std::vector<raw_input>& inputs, const pcmwrap_settings& settings)
{
    audio_header header{};
    init_audio_header(&header);
    header.type = pcmwrap_type(settings.bytes, settings.type_name);
    header.sfreq = settings.sfreq;
    header.frames = 0;
    if (raw_decoder_for(settings.bytes) == nullptr) {
        std::fprintf(stderr, "Error only 1..4 bytes per sample supported\n");
        return 1;
    }
    if (settings.channels < 1) {
        std::fprintf(stderr, "Error: channels per input must be 1 or more, not %d\n", settings.channels);
        return 1;
    }
    // Every frame must fit the output's sample buffer, which also keeps the
    // channel count well inside the header's field.
    const int64_t channels = static_cast<int64_t>(inputs.size()) * settings.channels;
    if (channels * audio_sample_bytes(header.type) > AUDIO_BUFFER_SIZE) {
        std::fprintf(stderr, "Error: %lld channels do not fit in one frame\n", static_cast<long long>(channels));
        return 1;
    }
    header.channels = static_cast<int32_t>(channels);
    const raw_input* same = settings.output == AUDIO_TO_STDOUT ? nullptr : output_among_inputs(settings.output, inputs);
    if (same != nullptr) {
        std::fprintf(stderr, "Error: outputfile is also an inputfile: %s\n", same->name.c_str());
        return 1;
    }

    audio_file* output = open_audio_file(settings.output.c_str(), "w", &header);
    if (output == nullptr) {
        std::fprintf(stderr, "\nError opening outputfile\n");
        return 1;
    }
    int64_t frames = 0;
    bool ok = true;
    if (inputs.size() == 1 && raw_sample_bytes(&header, AUDIO_MODE_WRITE) == settings.bytes) {
        // The output stores the raw samples as they are (WAVE of the same
        // width): they move unconverted, in the kernel between files.
        const int result = wrap_audio_samples(inputs[0].stream, output, &frames);
        if (result == -3)
            std::fprintf(stderr, "Error: reading inputfile: %s\n", inputs[0].name.c_str());
        else if (result != 0)
            std::fprintf(stderr, "\nError writing outputfile\n");
        ok = result == 0;
    } else {
        ok = copy_frames(inputs, settings, output, &frames);
    }
    if (close_audio_file(output) != 0) {
        std::fprintf(stderr, "\nError closing file\n");
        ok = false;
    }
    // A file whose samples were lost is not given a header that would vouch
    // for them.  Standard output and pipes keep the count 0 they were
    // written with (the rewrite leaves them alone).
    if (!ok)
        return 1;

    const int result = rewrite_audio_header(settings.output.c_str(), &header, frames);
    if (result == -1) {
        std::fprintf(stderr, "\nError opening outputfile\n");
        return 1;
    }
    if (result < 0) {
        std::fprintf(stderr, "\nError closing outputfile\n");
        return 1;
    }
    return 0;
}

}  // namespace

raw_decoder raw_decoder_for(int bytes)
{
    return bytes >= 1 && bytes <= 4 ? raw_decoders[static_cast<size_t>(bytes - 1)] : nullptr;
}

int pcmwrap_type(int bytes, const std::string& type_name)
{
    const int deflt = bytes >= 1 && bytes <= 4 ? aiff_types[static_cast<size_t>(bytes - 1)] : AUDIO_AIFF_16;
    return get_audio_type(type_name.c_str(), deflt);
}

void pcmwrap_usage()
{
    std::fprintf(stderr, "Usage: pcmwrap [-ssfreq] [-bbytes] [-cchannels] [-ttype] [-ooutputfile] audiofiles\n");
    print_audio_types();
}

int pcmwrap_options(int argc, char* argv[], pcmwrap_settings& settings)
{
    int c;
    while ((c = get_option(argc, argv, "s:b:c:o:t:h")) != -1) {
        switch (c) {
        case 's': settings.sfreq = to_int(option_argument); break;
        case 'b': settings.bytes = to_int(option_argument); break;
        case 'c': settings.channels = to_int(option_argument); break;
        case 'o': settings.output = option_argument; break;
        case 't': settings.type_name = option_argument; break;
        case 'h':
            pcmwrap_usage();
            return 0;
        default:
            pcmwrap_usage();
            return 1;
        }
    }
    for (int i = option_index; i < argc; ++i)
        settings.inputs.emplace_back(argv[i]);
    return -1;
}

int pcmwrap_run(const pcmwrap_settings& settings)
{
    // Every input is opened before anything is checked or written.
    std::vector<raw_input> inputs;
    int status = 0;
    for (const std::string& name : settings.inputs) {
        FILE* stream = std::fopen(name.c_str(), "rb");
        if (stream == nullptr) {
            std::fprintf(stderr, "Error: opening inputfile: %s\n", name.c_str());
            status = 1;
            break;
        }
        inputs.push_back({name, stream});
    }
    if (settings.inputs.empty())
        inputs.push_back({"standard input", stdin});

    if (status == 0)
        status = wrap(inputs, settings);

    for (size_t i = 0; i < inputs.size(); ++i) {
        if (inputs[i].stream != stdin && std::fclose(inputs[i].stream) != 0) {
            std::fprintf(stderr, "\nError closing inputfile: %zu\n", i);
            status = 1;
        }
    }
    return status;
}
