// burstpick: finds the IEC 61937 data bursts in a two-channel 16-bit audio
// file and writes the elementary stream they carry: AC-3, E-AC-3, MPEG
// audio, AAC, DTS or TrueHD.
//
// Four pieces: the burst scanner (scanner.cpp) walks the sample bytes as
// 16-bit words, decodes each burst's preamble, selects payloads; the payload
// forms (payload.cpp) write each as its data type packs it, taking off the
// framing IEC 61937 adds; the extension splitter (splitter.cpp) cuts MPEG-2
// bursts with extension into base and extension frames; the program part
// (burstpick.cpp) reads the command line, owns the output, extension and
// log streams and formats the log.  Every operation returns a status (0 to go on, else the exit status),
// so that a failure deep in the scan travels up to main.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Settings and streams

struct burst_options {
    int first_frame = 0;        // -b: first selected burst written
    int end_frame = 999999999;  // -e: first selected burst no longer written
    int stream_number = 0;      // -s
    int wanted_type = -1;       // -t, -1: any
    int unwanted_type = -1;     // -r, -1: none
    int forced_type = -1;       // -T, -1: the bursts' own type
    bool interleave = false;    // -i: MPEG-2 extension stays in the output
    bool discard_errors = false;  // -p
    bool verbose = false;       // -v
    bool unique = false;        // -u: burst hash in the report (with -v)
};

// One of -o, -E, -L as given, opened in command-line order by the run.
struct stream_option {
    char letter;
    std::string name;
};

struct burstpick_settings {
    burst_options options;
    std::vector<stream_option> streams;
    std::string kernel;  // -O
    bool kernel_set = false;
    std::string input;   // the operand, or standard input
    std::string program = "burstpick";  // the first command-line element, for messages
};

// Payloads are gathered here and reach the output stream in large writes.
constexpr size_t OUTPUT_BUFFER_SIZE = 1 << 20;

struct burst_outputs {
    FILE* output = stdout;
    std::string output_name = "standard output";
    std::unique_ptr<unsigned char[]> output_buffer;  // OUTPUT_BUFFER_SIZE bytes, made at the first write
    size_t output_fill = 0;
    FILE* extension = nullptr;
    std::string extension_name;
    bool extension_open = false;
    FILE* log = stderr;
    std::string log_name;
    bool log_named = false;
    std::string kernel;
    bool kernel_set = false;
    std::string input_name;  // the named input no output may overwrite; empty: standard input
};

// Scans the command line.  Returns -1 to go on, or the exit status after the
// usage text (-h: 0, an option error: 1).
int burstpick_options(int argc, char* argv[], burstpick_settings& settings);
void burstpick_usage();

// The whole run after the options; returns the exit status.
int burstpick_run(const burstpick_settings& settings);

// Opens the -o, -E and -L files in the order given, routing the log.
// 0, or 1 after a message.
int open_option_streams(const std::vector<stream_option>& streams, burst_outputs& outputs);
// Flushes and closes every stream the run opened.  0, or 1 after a message
// when anything written to them was lost.
int close_outputs(burst_outputs& outputs);

// ---------------------------------------------------------------------------
// Burst preamble and data types

constexpr uint16_t BURST_SYNC_A = 0xF872;  // Pa
constexpr uint16_t BURST_SYNC_B = 0x4E1F;  // Pb
constexpr int BURST_PREAMBLE_BYTES = 8;
// Pd states at most 65535 bytes (for the byte-counted types below): this
// many, rounded up to whole words.
constexpr int MAX_PAYLOAD_BYTES = 65536;

constexpr int TYPE_NULL = 0;
constexpr int TYPE_AC3 = 1;
constexpr int TYPE_PAUSE = 3;
constexpr int TYPE_MPEG2_EXT = 6;
constexpr int DATA_TYPES = 32;  // Pc holds the data type in five bits

// What a burst report adds after the common part.
enum class report_extras { none, bsmod, mpeg_flags };
// How a written payload reaches the outputs.
enum class payload_form {
    whole,           // as it stands
    mpeg_extension,  // base and extension frame, unless -i (splitter)
    adts_frames,     // AAC frames by the lengths their headers state
    dts_type_iv,     // the DTS frame behind its IEC 61937 header
    mat_frame,       // the TrueHD access units a MAT frame holds
};

struct data_type_info {
    const char* name;              // null: no stream of the type is carried
    const char* kernel_extension;  // null: kernel naming refuses the type
    bool pause_accepted;           // a pause burst may stand in a stream of the type
    bool length_in_bytes;          // Pd counts bytes, not bits
    report_extras extras;
    payload_form form;
};

// The row of a data type (burst_type may be any number -T gives: outside
// 0..31 the row refuses everything).
const data_type_info& data_type_of(int type);

struct burst_preamble {
    int data_type = 0;         // Pc bits 0-4
    bool error_flag = false;   // bit 7
    int type_info = 0;         // bits 8-10 (AC-3 bsmod)
    bool karaoke_flag = false; // bit 8
    bool drc_flag = false;     // bit 9
    int bitstream_number = 0;  // bits 13-15
    int burst_type = 0;        // forced_type, or data_type
    uint16_t length_code = 0;  // Pd: bits, or bytes for the byte-counted data types
    int payload_bytes = 0;
    int payload_words = 0;
};

burst_preamble decode_preamble(uint16_t pc, uint16_t pd, int forced_type);

// Whether a pause burst may stand in a stream of the given current type.
bool pause_accepted(int stream_type);
// The kernel-named output's extension by type; null where kernel naming is
// refused.
const char* kernel_extension(int burst_type);

// ---------------------------------------------------------------------------
// Scanner

enum class word_order { big_endian, little_endian };

struct burst_scan {
    int64_t word_position = 0;           // word index of the current Pb
    int64_t last_reported_position = 0;  // Pa of the burst last reported
    int stream_type = -1;
    int64_t frame_index = -1;
    int64_t frames_extracted = 0;
};

// Scans the sample bytes of input from its current position to its end.
// Returns 0, or the exit status of a failure (its message printed); bytes
// written before it stay written.  scan holds the counts either way.
// The scan ends after data_bytes bytes where that is not negative: at the
// end of the sample data the header states.
int scan_bursts(FILE* input, word_order order, const burst_options& options, burst_outputs& outputs,
                burst_scan& scan, int64_t data_bytes = -1);

// ---------------------------------------------------------------------------
// Operations of the program part that the scan calls

int open_first_outputs(burst_outputs& outputs, const burst_options& options, int burst_type);
int open_extension_output(burst_outputs& outputs);
// The per-burst report line; hash is printed when unique is set.
void report_burst(burst_outputs& outputs, const burst_preamble& burst, int64_t position, int64_t offset,
                 bool unique, uint32_t hash);
// Writes to the output or extension stream; 0, or 1 after a message.
// Output bytes wait in the output buffer until flush_output.
int flush_output(burst_outputs& outputs);
int write_output(burst_outputs& outputs, const unsigned char* bytes, size_t count);
int write_extension(burst_outputs& outputs, const unsigned char* bytes, size_t count);
// One formatted line (or piece of one) to the log, flushed at once.
void log_printf(burst_outputs& outputs, const char* format, ...) __attribute__((format(printf, 2, 3)));

// ---------------------------------------------------------------------------
// MPEG-2 extension splitter

// What the base frame header and the extension header of a type 6 burst say.
struct extension_layout {
    bool header_present = false;  // payload bytes 1 and 2 exist
    int id = 0;                   // 1: MPEG-1 bitrates, 0: lower sampling frequencies
    int layer = 0;                // 1..3; 4 for the reserved layer code 0
    int bitrate_index = 0;
    int bitrate = 0;              // bit/s
    int frequency_code = 0;       // 3 is reserved
    int padding = 0;
    bool usable = false;          // layer and bitrate index have a table entry
    int b1 = 0;                   // base frame bytes
    bool ext_header_present = false;  // ext_length lies within the payload
    int b2 = 0;                   // ext_length, 0 when it lies beyond the payload
};

extension_layout extension_layout_of(const unsigned char* payload, int payload_bytes);

// Writes one burst of type 6: base frame to the output, extension frame to
// the extension stream, never beyond the payload.  0, or the exit status.
int split_extension_burst(const unsigned char* payload, int payload_bytes, int64_t frame_index, bool verbose,
                          burst_outputs& outputs);

// ---------------------------------------------------------------------------
// Payload forms

// TrueHD access units gathered from MAT frames: a unit may run on from one
// MAT frame into the next, and is written once it is whole.
constexpr int MAX_ACCESS_UNIT_BYTES = 0xFFF * 2;  // its length field counts words in 12 bits

struct access_units {
    std::array<unsigned char, MAX_ACCESS_UNIT_BYTES> unit{};
    int length = 0;        // bytes of the unit being gathered; 0: between units
    int held = 0;          // bytes of it gathered so far
    bool written = false;  // it began in a burst that is written
};

// Hands the payload of a selected burst to the outputs in its type's form;
// write is the burst's write mark.  A MAT frame is read also when it is not
// written, so that a unit begun in a written burst is finished and one
// begun in a burst not written is not.  0, or the exit status.
int deliver_payload(const unsigned char* payload, const burst_preamble& burst, int64_t frame_index, bool write,
                    const burst_options& options, access_units& units, burst_outputs& outputs);
