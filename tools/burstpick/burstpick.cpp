// The burstpick program: command line, input checks, the output, extension
// and log streams with their kernel naming, and the per-burst report.
#include "burstpick.h"

#include "audiofile.h"
#include "files.h"
#include "numbers.h"
#include "option.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdarg>
#include <cstring>
#include <new>

namespace {

bool is_standard(FILE* stream) { return stream == stdin || stream == stdout || stream == stderr; }

// Flushes and, unless it is a standard stream, closes stream.  False when
// anything written to it was lost.
bool finish_stream(FILE* stream)
{
    if (stream == nullptr)
        return true;
    bool ok = std::fflush(stream) == 0 && std::ferror(stream) == 0;
    if (!is_standard(stream))
        ok = std::fclose(stream) == 0 && ok;
    return ok;
}

// Replaces *slot by a new stream; the one replaced is closed (it keeps what
// it received, which is nothing for a stream replaced before any burst).
// False when the replaced stream lost bytes.
bool replace_stream(FILE*& slot, FILE* stream)
{
    const bool ok = finish_stream(slot == stream ? nullptr : slot);
    slot = stream;
    return ok;
}

int write_failed(const char* what, const std::string& name)
{
    const int error = errno;
    std::fprintf(stderr, "Error writing %s: %s: %s\n", what, name.c_str(),
                 error != 0 ? std::strerror(error) : "write failed");
    return 1;
}

constexpr const char* usage_lines[] = {
    "\nUsage:\n",
    "burstpick [-b first frame number of cut]\n",
    "               [-e last frame number of cut]\n",
    "               [-E extension BS filename]\n",
    "               [-h] prints this message\n",
    "               [-i] interleave base and ext stream in the same file\n",
    "               [-L logging filename]\n",
    "               [-o elementary BS filename]\n",
    "               [-O output BS filename kernel]\n",
    "               [-p] discard error frames\n",
    "               [-s desired stream (0..7)]\n",
    "               [-u] unique number per frame in verbose mode\n",
    "               [-v] verbose\n",
    "               [-t desired stream type]\n",
    "               [-r undesired stream type]\n",
    "               [-T overrule stream_type]\n",
    "               [IEC-61937 filename]\n",
};

}  // namespace

void burstpick_usage()
{
    for (const char* line : usage_lines)
        std::fputs(line, stderr);
}

int burstpick_options(int argc, char* argv[], burstpick_settings& settings)
{
    if (argc > 0 && argv[0] != nullptr)
        settings.program = argv[0];
    burst_options& o = settings.options;
    int c;
    while ((c = get_option(argc, argv, "b:e:E:L:o:O:r:s:t:T:ipuvh")) != -1) {
        switch (c) {
        case 'b': o.first_frame = to_int(option_argument); break;
        case 'e': o.end_frame = to_int(option_argument); break;
        case 'r': o.unwanted_type = to_int(option_argument); break;
        case 's': o.stream_number = to_int(option_argument); break;
        case 't': o.wanted_type = to_int(option_argument); break;
        case 'T': o.forced_type = to_int(option_argument); break;
        case 'i': o.interleave = true; break;
        case 'p': o.discard_errors = true; break;
        case 'u': o.unique = true; break;
        case 'v': o.verbose = true; break;
        case 'E':
        case 'L':
        case 'o': settings.streams.push_back({static_cast<char>(c), option_argument}); break;
        case 'O':
            settings.kernel = option_argument;
            settings.kernel_set = true;
            break;
        case 'h':
            burstpick_usage();
            return 0;
        default:
            burstpick_usage();
            return 1;
        }
    }
    settings.input = option_index < argc ? argv[option_index] : AUDIO_FROM_STDIN;
    return -1;
}

namespace {

// Opens an output file; null after the message (open_error, with the name).
// The input's own file is refused: opening it would empty it before a byte
// of it was read.
FILE* open_output_file(const burst_outputs& outputs, const std::string& name, const char* mode, const char* open_error)
{
    const bool is_input = outputs.input_name.empty() ? names_open_file(name.c_str(), stdin)
                                                     : same_regular_file(name.c_str(), outputs.input_name.c_str());
    if (is_input) {
        std::fprintf(stderr, "Error: outputfile is also the inputfile: %s\n", name.c_str());
        return nullptr;
    }
    FILE* stream = std::fopen(name.c_str(), mode);
    if (stream == nullptr)
        std::fprintf(stderr, open_error, name.c_str());
    return stream;
}

// Makes stream the elementary output; the log follows it to standard
// output unless it has a file of its own.  0, or 1 after a message.
int use_output(burst_outputs& outputs, FILE* stream, const std::string& name)
{
    if (flush_output(outputs) != 0 || !replace_stream(outputs.output, stream))
        return write_failed("outputfile", outputs.output_name);
    outputs.output_name = name;
    if (!outputs.log_named) {
        outputs.log = stdout;
        outputs.log_name = "standard output";
    }
    return 0;
}

}  // namespace

int open_option_streams(const std::vector<stream_option>& streams, burst_outputs& outputs)
{
    for (const stream_option& s : streams) {
        switch (s.letter) {
        case 'E': {
            FILE* stream = open_output_file(outputs, s.name, "wb", "Error opening extension file: %s\n");
            if (stream == nullptr)
                return 1;
            if (!replace_stream(outputs.extension, stream))
                return write_failed("extension file", outputs.extension_name);
            outputs.extension_name = s.name;
            outputs.extension_open = true;
            break;
        }
        case 'L': {
            FILE* stream = open_output_file(outputs, s.name, "w", "Error opening logging file: %s\n");
            if (stream == nullptr)
                return 1;
            if (!replace_stream(outputs.log, stream))
                return write_failed("logging file", outputs.log_name);
            outputs.log_name = s.name;
            outputs.log_named = true;
            break;
        }
        default: {
            FILE* stream = open_output_file(outputs, s.name, "wb", "Error opening outputfile: %s\n");
            if (stream == nullptr)
                return 1;
            if (const int status = use_output(outputs, stream, s.name))
                return status;
            break;
        }
        }
    }
    return 0;
}

int open_extension_output(burst_outputs& outputs)
{
    if (outputs.kernel_set) {
        const std::string name = outputs.kernel + ".ext";
        FILE* stream = open_output_file(outputs, name, "wb", "Error opening outputfile: %s\n");
        if (stream == nullptr)
            return 1;
        if (!replace_stream(outputs.extension, stream))
            return write_failed("extension file", outputs.extension_name);
        outputs.extension_name = name;
        outputs.extension_open = true;
        return 0;
    }
    if (!outputs.extension_open) {
        std::fprintf(stderr, "Stream contains extension, use -E or -O option to specify a filename.\n");
        return 1;
    }
    return 0;  // the stream opened by -E
}

int open_first_outputs(burst_outputs& outputs, const burst_options& options, int burst_type)
{
    if (burst_type == TYPE_MPEG2_EXT && !options.interleave)
        if (const int status = open_extension_output(outputs))
            return status;
    if (!outputs.kernel_set)
        return 0;
    const char* extension = kernel_extension(burst_type);
    if (extension == nullptr) {
        std::fprintf(stderr, "stream type: %d not supported\n", burst_type);
        return 1;
    }
    const std::string name = outputs.kernel + extension;
    FILE* stream = open_output_file(outputs, name, "wb", "Error opening outputfile: %s\n");
    if (stream == nullptr)
        return 1;
    return use_output(outputs, stream, name);
}

void log_printf(burst_outputs& outputs, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vfprintf(outputs.log, format, args);
    va_end(args);
    std::fflush(outputs.log);
}

void report_burst(burst_outputs& outputs, const burst_preamble& burst, int64_t position, int64_t offset,
                  bool unique, uint32_t hash)
{
    log_printf(outputs, "sync at pos: %8" PRId64 " off: %6" PRId64 " type: %d nr: %d bytes: %d", position, offset,
               burst.burst_type, burst.bitstream_number, burst.payload_bytes);
    if (unique)
        log_printf(outputs, " unique: %08x", static_cast<unsigned>(hash));
    switch (data_type_of(burst.burst_type).extras) {
    case report_extras::bsmod:
        log_printf(outputs, " bsmod: %d", burst.type_info);
        break;
    case report_extras::mpeg_flags:
        if (burst.karaoke_flag)
            log_printf(outputs, " karaoke bit SET");
        if (burst.drc_flag)
            log_printf(outputs, " DRC bit SET");
        break;
    case report_extras::none:
        break;
    }
    log_printf(outputs, burst.error_flag ? " ERROR bit SET!\n" : "\n");
}

int flush_output(burst_outputs& outputs)
{
    const size_t fill = outputs.output_fill;
    outputs.output_fill = 0;
    if (fill > 0 && std::fwrite(outputs.output_buffer.get(), 1, fill, outputs.output) != fill)
        return write_failed("outputfile", outputs.output_name);
    return 0;
}

int write_output(burst_outputs& outputs, const unsigned char* bytes, size_t count)
{
    if (count == 0)
        return 0;
    if (!outputs.output_buffer) {
        outputs.output_buffer.reset(new (std::nothrow) unsigned char[OUTPUT_BUFFER_SIZE]);
        if (!outputs.output_buffer) {
            std::fprintf(stderr, "Error allocating the output buffer\n");
            return 1;
        }
    }
    if (count > OUTPUT_BUFFER_SIZE - outputs.output_fill) {
        if (const int status = flush_output(outputs))
            return status;
        if (count >= OUTPUT_BUFFER_SIZE) {
            if (std::fwrite(bytes, 1, count, outputs.output) != count)
                return write_failed("outputfile", outputs.output_name);
            return 0;
        }
    }
    std::memcpy(outputs.output_buffer.get() + outputs.output_fill, bytes, count);
    outputs.output_fill += count;
    return 0;
}

int write_extension(burst_outputs& outputs, const unsigned char* bytes, size_t count)
{
    if (outputs.extension == nullptr) {
        std::fprintf(stderr, "Stream contains extension, use -E or -O option to specify a filename.\n");
        return 1;
    }
    if (count > 0 && std::fwrite(bytes, 1, count, outputs.extension) != count)
        return write_failed("extension file", outputs.extension_name);
    return 0;
}

int close_outputs(burst_outputs& outputs)
{
    int status = flush_output(outputs);
    if (!finish_stream(outputs.output) && status == 0)
        status = write_failed("outputfile", outputs.output_name);
    outputs.output = nullptr;
    if (!finish_stream(outputs.extension))
        status = write_failed("extension file", outputs.extension_name);
    outputs.extension = nullptr;
    if (!finish_stream(outputs.log))
        status = write_failed("logging file", outputs.log_name.empty() ? "standard error" : outputs.log_name);
    outputs.log = nullptr;
    return status;
}

namespace {

// A file the run may write, and how the command line names it.
struct output_file {
    std::string name;
    std::string label;
    bool kernel_output = false;  // kernel-named output: only one of them is ever opened
};

// Refuses two outputs that lead to one file, before any is opened: what
// one wrote would land in the other (the log in the AC-3 stream).  The
// last -o, -E and -L count (a letter given again replaces its file), and
// with -O the kernel-named files of every type.  0, or 1 after a message.
int refuse_shared_outputs(const burstpick_settings& settings)
{
    std::vector<output_file> files;
    for (const char letter : {'o', 'E', 'L'}) {
        const stream_option* last = nullptr;
        for (const stream_option& s : settings.streams)
            last = s.letter == letter ? &s : last;
        if (last != nullptr)
            files.push_back({last->name, std::string("-") + letter + " " + last->name});
    }
    if (settings.kernel_set) {
        std::vector<std::string> extensions{".ext"};
        for (int type = 0; type < 32; ++type) {
            const char* extension = kernel_extension(type);
            if (extension != nullptr && std::find(extensions.begin(), extensions.end(), extension) == extensions.end())
                extensions.emplace_back(extension);
        }
        for (const std::string& extension : extensions) {
            const std::string name = settings.kernel + extension;
            files.push_back({name, "-O " + settings.kernel + " (" + name + ")", extension != ".ext"});
        }
    }
    for (size_t i = 0; i < files.size(); ++i)
        for (size_t j = i + 1; j < files.size(); ++j) {
            if (files[i].kernel_output && files[j].kernel_output)
                continue;
            if (names_one_file(files[i].name.c_str(), files[j].name.c_str())) {
                std::fprintf(stderr, "Error: %s and %s name the same file\n", files[i].label.c_str(),
                             files[j].label.c_str());
                return 1;
            }
        }
    return 0;
}

}  // namespace

int burstpick_run(const burstpick_settings& settings)
{
    if (refuse_shared_outputs(settings) != 0)
        return 1;
    burst_outputs outputs;
    outputs.kernel = settings.kernel;
    outputs.kernel_set = settings.kernel_set;
    if (settings.input != AUDIO_FROM_STDIN)
        outputs.input_name = settings.input;
    if (open_option_streams(settings.streams, outputs) != 0) {
        close_outputs(outputs);
        return 1;
    }

    audio_header header{};
    audio_file* input = open_audio_file(settings.input.c_str(), "r", &header);
    if (input == nullptr) {
        std::fprintf(stderr, "Error opening inputfile: %s\n", settings.input.c_str());
        close_outputs(outputs);
        return 1;
    }

    int status = 0;
    word_order order = word_order::little_endian;
    if (header.channels != 2) {
        std::fprintf(stderr, "\n%s: Error: Input file not two-channel\n", settings.program.c_str());
        status = 1;
    } else if (header.type == AUDIO_AIFF_16 || header.type == AUDIO_AIFC_16 || header.type == AUDIO_SUN_16) {
        order = word_order::big_endian;
    } else if (header.type != AUDIO_WAVE_16) {
        std::fprintf(stderr, "\n%s: Error: Input format not 16-bit precision\n", settings.program.c_str());
        status = 1;
    }

    burst_scan scan;
    if (status == 0)
        status = scan_bursts(input->stream, order, settings.options, outputs, scan, input->data_left);

    // The outputs are finished before the count is logged, so that a lost
    // write is never followed by a count that vouches for it.  Bytes
    // written before a failure stay written.
    const int flushed = flush_output(outputs);
    if (status == 0)
        status = flushed;
    if (!finish_stream(outputs.output) && status == 0)
        status = write_failed("outputfile", outputs.output_name);
    outputs.output = nullptr;
    if (!finish_stream(outputs.extension) && status == 0)
        status = write_failed("extension file", outputs.extension_name);
    outputs.extension = nullptr;

    if (close_audio_file(input) != 0)
        std::fprintf(stderr, "%s: Error closing audiofile\n", settings.program.c_str());
    if (status == 0)
        log_printf(outputs, "Frames: %8" PRId64 " extracted\n", scan.frames_extracted);

    const int closed = close_outputs(outputs);
    return status != 0 ? status : closed;
}
