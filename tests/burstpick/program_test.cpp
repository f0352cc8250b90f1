// burstpick as a user runs it: options, usage, input checks, output naming,
// where the log goes, and failures to write.
#include "burst_builder.h"

#include "audiofile.h"
#include "run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

namespace {

const std::string usage_text =
    "\nUsage:\n"
    "burstpick [-b first frame number of cut]\n"
    "               [-e last frame number of cut]\n"
    "               [-E extension BS filename]\n"
    "               [-h] prints this message\n"
    "               [-i] interleave base and ext stream in the same file\n"
    "               [-L logging filename]\n"
    "               [-o elementary BS filename]\n"
    "               [-O output BS filename kernel]\n"
    "               [-p] discard error frames\n"
    "               [-s desired stream (0..7)]\n"
    "               [-u] unique number per frame in verbose mode\n"
    "               [-v] verbose\n"
    "               [-t desired stream type]\n"
    "               [-r undesired stream type]\n"
    "               [-T overrule stream_type]\n"
    "               [IEC-61937 filename]\n";

bool exists(const std::string& path) { return std::filesystem::exists(path); }

// Two AC-3 bursts in a WAVE file; the first, of 7 bytes, fills its last
// word with a byte that is not written.
std::string ac3_wave()
{
    return wave_file(
        word_row{}.burst(pc_of(1), "AC3-one").stuffing(9).burst(pc_of(1), "two!").bytes(word_order::little_endian));
}

// An MPEG-2 frame with extension: layer 2, 256 kbit/s, 48 kHz: 768 bytes of
// base frame, then an extension frame of ext_length bytes.
std::string mpeg2_ext_payload(int seed, int ext_length = 200)
{
    std::string p = pattern(static_cast<size_t>(768 + ext_length), seed);
    p[0] = '\xFF';
    p[1] = '\xFD';
    p[2] = '\xC4';
    p[768] = '\x7F';
    p[768 + 3] = static_cast<char>(0xF0 | ext_length >> 7);
    p[768 + 4] = static_cast<char>((ext_length & 0x7F) << 1);
    return p;
}

TEST(burstpick_program, help_and_option_errors_print_the_usage)
{
    auto r = run_tool("burstpick", {"-h"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, usage_text);
    EXPECT_EQ(r.out, "");
    r = run_tool("burstpick", {"-x"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "get command line option: Invalid argument\n" + usage_text);
    r = run_tool("burstpick", {"-b"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "get command line option: Invalid argument\n" + usage_text);
}

TEST(burstpick_program, reads_standard_input_and_writes_standard_output)
{
    const auto r = run_tool("burstpick", {}, ac3_wave());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("AC3-onetwo!"));
    EXPECT_EQ(r.err, "IEC-61937 bitstream: type: 1\nFrames:        2 extracted\n");
}

// A chunk after the sample data is no part of them, even when it holds
// something like a burst; a header that states no size reads to the end.
TEST(burstpick_program, stops_where_the_header_says_the_data_end)
{
    const std::string tail = "LIST" + std::string("\x0E\0\0\0", 4) + word_row{}.burst(pc_of(1), "tag").bytes(word_order::little_endian);
    std::string unstated = ac3_wave() + tail;
    unstated.replace(40, 4, std::string(4, '\0'));
    temp_dir dir;
    struct row {
        std::string file;
        std::string out;
    };
    for (const row& r : {row{ac3_wave() + tail, "AC3-onetwo!"}, row{unstated, "AC3-onetwo!tag"}}) {
        write_file(dir.file("in.wav"), r.file);
        const auto named = run_tool("burstpick", {dir.file("in.wav")});
        EXPECT_EQ(named.status, 0) << named.err;
        EXPECT_EQ(named.out, r.out);
        const auto piped = run_tool("burstpick", {}, r.file);
        EXPECT_EQ(piped.out, r.out);
    }
}

TEST(burstpick_program, log_follows_the_output_options)
{
    temp_dir dir;
    write_file(dir.file("in.wav"), ac3_wave());
    const std::string lines = "IEC-61937 bitstream: type: 1\nFrames:        2 extracted\n";

    auto r = run_tool("burstpick", {"-o", dir.file("out.ac3"), dir.file("in.wav")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, lines);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(read_file(dir.file("out.ac3")), std::string("AC3-onetwo!"));

    for (const auto& args : {std::vector<std::string>{"-o", dir.file("o2"), "-L", dir.file("log")},
                             std::vector<std::string>{"-L", dir.file("log"), "-o", dir.file("o2")}}) {
        auto with_input = args;
        with_input.push_back(dir.file("in.wav"));
        r = run_tool("burstpick", with_input);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(read_file(dir.file("log")), lines);
    }
}

TEST(burstpick_program, kernel_names_the_output_by_type)
{
    temp_dir dir;
    write_file(dir.file("in.wav"), ac3_wave());
    const auto r = run_tool("burstpick", {"-o", dir.file("x"), "-O", dir.file("k."), dir.file("in.wav")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(dir.file("k..ac3")), std::string("AC3-onetwo!")) << "the extension is appended as is";
    EXPECT_TRUE(exists(dir.file("x")));
    EXPECT_EQ(read_file(dir.file("x")), "");
    EXPECT_EQ(r.out, "IEC-61937 bitstream: type: 1\nFrames:        2 extracted\n");

    struct named {
        uint16_t pc;
        const char* extension;
        int pd = 32;  // 4 bytes
    };
    for (const named n : {named{pc_of(2), ".tc"}, named{pc_of(4), ".mpg"}, named{pc_of(9), ".mpg"},
                          named{pc_of(11), ".dts"}, named{pc_of(13), ".dts"}, named{pc_of(7), ".aac"},
                          named{pc_of(10), ".mpg"}, named{pc_of(17), ".dts", 4}, named{pc_of(19), ".aac"},
                          named{pc_of(20), ".aac"}, named{pc_of(21), ".eac3", 4}, named{pc_of(22), ".thd", 4}}) {
        write_file(dir.file("t.wav"), wave_file(word_row{}.burst(n.pc, "data", n.pd).bytes(word_order::little_endian)));
        EXPECT_EQ(run_tool("burstpick", {"-O", dir.file("t"), dir.file("t.wav")}).status, 0);
        EXPECT_EQ(read_file(dir.file("t") + n.extension), "data");
    }
}

TEST(burstpick_program, kernel_refuses_types_without_an_extension)
{
    temp_dir dir;
    for (const int type : {14, 18, 23}) {
        write_file(dir.file("in.wav"),
                   wave_file(word_row{}.burst(pc_of(type), "data").bytes(word_order::little_endian)));
        auto r = run_tool("burstpick", {"-O", dir.file("k"), dir.file("in.wav")});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "stream type: " + std::to_string(type) + " not supported\n");
        // Without -O and -v such a stream is extracted like any other.
        r = run_tool("burstpick", {dir.file("in.wav")});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "data");
    }
}

TEST(burstpick_program, no_selected_burst_opens_nothing_from_the_kernel)
{
    temp_dir dir;
    write_file(dir.file("in.wav"), wave_file(word_row{}.burst(pc_of(1, 3), "data").bytes(word_order::little_endian)));
    const auto r = run_tool("burstpick", {"-O", dir.file("k"), dir.file("in.wav")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "Frames:        0 extracted\n");
    EXPECT_FALSE(exists(dir.file("k.ac3")));
}

TEST(burstpick_program, verbose_log_moves_to_standard_output_with_the_kernel)
{
    temp_dir dir;
    write_file(dir.file("in.wav"), ac3_wave());
    auto r = run_tool("burstpick", {"-v", "-O", dir.file("k"), dir.file("in.wav")});
    EXPECT_EQ(r.err, "sync at pos:        0 off:      0 type: 1 nr: 0 bytes: 7 bsmod: 0\n");
    EXPECT_EQ(r.out, "IEC-61937 bitstream: type: 1\n"
                     "sync at pos:       17 off:     17 type: 1 nr: 0 bytes: 4 bsmod: 0\n"
                     "Frames:        2 extracted\n");
    r = run_tool("burstpick", {"-v", "-u", "-O", dir.file("k"), dir.file("in.wav")});
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.substr(0, 29), "IEC-61937 bitstream: type: 1\n");
    EXPECT_NE(r.out.find("sync at pos:        0 off:      0 type: 1 nr: 0 bytes: 7 unique: "), std::string::npos);
}

TEST(burstpick_program, extension_streams_by_kernel_by_name_or_interleaved)
{
    temp_dir dir;
    const std::string a = mpeg2_ext_payload(1), b = mpeg2_ext_payload(2, 300);
    write_file(dir.file("ext.wav"),
               wave_file(word_row{}.burst(pc_of(6), a).stuffing(3).burst(pc_of(6), b).bytes(word_order::little_endian)));

    auto r = run_tool("burstpick", {"-E", dir.file("x"), "-O", dir.file("k"), dir.file("ext.wav")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(dir.file("k.mpg")), a.substr(0, 768) + b.substr(0, 768));
    EXPECT_EQ(read_file(dir.file("k.ext")), a.substr(768) + b.substr(768));
    EXPECT_EQ(read_file(dir.file("x")), "") << "the kernel replaces -E at the first burst";

    r = run_tool("burstpick", {"-i", "-O", dir.file("i"), dir.file("ext.wav")});
    EXPECT_EQ(read_file(dir.file("i.mpg")), a + b);
    EXPECT_FALSE(exists(dir.file("i.ext")));

    r = run_tool("burstpick", {"-v", "-E", dir.file("e"), "-o", dir.file("o"), dir.file("ext.wav")});
    EXPECT_EQ(read_file(dir.file("o")), a.substr(0, 768) + b.substr(0, 768));
    EXPECT_EQ(read_file(dir.file("e")), a.substr(768) + b.substr(768));
    EXPECT_EQ(r.out, "sync at pos:        0 off:      0 type: 6 nr: 0 bytes: 968\n"
                     "IEC-61937 bitstream: type: 6\n"
                     "Version: 1 Layer: 2 Br_index: 12 Bitrate: 256000 b1: 768 b2: 200 bs: 968\n"
                     "sync at pos:      491 off:    491 type: 6 nr: 0 bytes: 1068\n"
                     "Version: 1 Layer: 2 Br_index: 12 Bitrate: 256000 b1: 768 b2: 300 bs: 1068\n"
                     "Frames:        2 extracted\n");

    r = run_tool("burstpick", {"-o", dir.file("none"), dir.file("ext.wav")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Stream contains extension, use -E or -O option to specify a filename.\n");
    EXPECT_EQ(read_file(dir.file("none")), "");
}

TEST(burstpick_program, later_change_to_extension_uses_the_named_stream)
{
    temp_dir dir;
    const std::string a = mpeg2_ext_payload(1);
    write_file(dir.file("in.wav"),
               wave_file(word_row{}.burst(pc_of(5), "base").burst(pc_of(6), a).bytes(word_order::little_endian)));
    const auto r = run_tool("burstpick", {"-E", dir.file("x"), "-O", dir.file("k"), dir.file("in.wav")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(dir.file("k.mpg")), "base" + a.substr(0, 768));
    EXPECT_EQ(read_file(dir.file("x")), a.substr(768));
    EXPECT_FALSE(exists(dir.file("k.ext")));
    EXPECT_EQ(r.out, "IEC-61937 bitstream: type: 5\nchange of stream type: from: 5 to: 6\nFrames:        2 extracted\n");
}

// twolame's free-format frames state no bitrate, hence no length: each
// type 6 burst is written whole, with a line saying why.
TEST(burstpick_program, free_format_bursts_are_written_unsplit)
{
    REQUIRE_PEER("twolame");
    REQUIRE_PEER("sox");
    temp_dir dir;
    const auto made = run_shell("sox -n -r 22050 -c 2 -b 16 '" + dir.file("tone.wav") +
                                "' synth 0.3 sine 440 && twolame --quiet --freeformat --private-ext -b 64 '" +
                                dir.file("tone.wav") + "' '" + dir.file("free.mp2") + "'");
    ASSERT_EQ(made.status, 0) << made.err;
    const std::string stream = read_file(dir.file("free.mp2"));
    const size_t length = stream.find(stream.substr(0, 3), 1);  // frames of one length: no padding
    ASSERT_TRUE(length != std::string::npos && stream.size() % length == 0) << length;
    word_row row;
    std::string log = "IEC-61937 bitstream: type: 6\n";
    for (size_t at = 0; at < stream.size(); at += length) {
        row.burst(pc_of(6), stream.substr(at, length)).stuffing(100);
        log += formatted("Frame: %6zu free format (bitrate index 0), base frame length unknown: burst written unsplit\n",
                         at / length);
    }
    write_file(dir.file("in.wav"), wave_file(row.bytes(word_order::little_endian)));
    const auto r = run_tool("burstpick", {"-E", dir.file("out.ext"), "-o", dir.file("out.mp2"), dir.file("in.wav")});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(read_file(dir.file("out.mp2")) == stream);
    EXPECT_EQ(read_file(dir.file("out.ext")), "");
    EXPECT_EQ(r.out, log + formatted("Frames: %8zu extracted\n", stream.size() / length));
}

struct failure_case {
    const char* name;
    std::string input;  // WAVE file contents; empty: none is written
    std::vector<std::string> args;  // "@" stands for the temporary folder
    int status;
    std::string err;  // "@" for the folder, "%" for the program
};

void PrintTo(const failure_case& c, std::ostream* os) { *os << c.name; }

std::vector<failure_case> failure_cases()
{
    const std::string one = wave_file(word_row{}.burst(pc_of(1), "ab").bytes(word_order::little_endian));
    std::string reserved_rate = mpeg2_ext_payload(1);
    reserved_rate[2] = '\xCC';
    return {
        {"missing_input", "", {"@/nosuch.wav"}, 1,
         "@/nosuch.wav: No such file or directory\nError opening inputfile: @/nosuch.wav\n"},
        {"mono", wave_file(std::string(8, '\0'), 1), {"@/in.wav"}, 1, "\n%: Error: Input file not two-channel\n"},
        {"wave_24", wave_file(std::string(12, '\0'), 2, 24), {"@/in.wav"}, 1,
         "\n%: Error: Input format not 16-bit precision\n"},
        {"output_folder_missing", one, {"-o", "@/no/out", "@/in.wav"}, 1, "Error opening outputfile: @/no/out\n"},
        {"log_folder_missing", one, {"-L", "@/no/log", "@/in.wav"}, 1, "Error opening logging file: @/no/log\n"},
        {"extension_folder_missing", one, {"-E", "@/no/ext", "@/in.wav"}, 1,
         "Error opening extension file: @/no/ext\n"},
        {"kernel_folder_missing", one, {"-O", "@/no/k", "@/in.wav"}, 1, "Error opening outputfile: @/no/k.ac3\n"},
        {"null_burst_with_verbose", wave_file(word_row{}.burst(pc_of(0, 5), "ab").bytes(word_order::little_endian)),
         {"-v", "@/in.wav"}, 0, "sync at pos:        0 off:      0 type: 0 nr: 5 bytes: 2\nFrames:        0 extracted\n"},
        {"pause_in_type_2",
         wave_file(word_row{}.burst(pc_of(2), "tc").burst(pc_of(3), "").bytes(word_order::little_endian)),
         {"@/in.wav"}, 1, "IEC-61937 bitstream: type: 2\npause frames for stream type: 2 not supported\n"},
        {"reserved_sampling_rate_interleaved", wave_file(word_row{}.burst(pc_of(6), reserved_rate).bytes(word_order::little_endian)),
         {"-i", "-o", "@/o", "@/in.wav"}, 0, ""},
        {"reserved_sampling_rate_split",
         wave_file(word_row{}.burst(pc_of(6), reserved_rate).bytes(word_order::little_endian)),
         {"-E", "@/e", "-o", "@/o", "@/in.wav"}, 1, "Error: reserved sampling rate.\n"},
        {"output_full", one, {"-o", "/dev/full", "@/in.wav"}, 1,
         "Error writing outputfile: /dev/full: No space left on device\n"},
        {"extension_full", wave_file(word_row{}.burst(pc_of(6), mpeg2_ext_payload(1)).bytes(word_order::little_endian)),
         {"-E", "/dev/full", "-o", "@/o", "@/in.wav"}, 1,
         "Error writing extension file: /dev/full: No space left on device\n"},
        {"log_full", one, {"-L", "/dev/full", "-o", "@/o", "@/in.wav"}, 1,
         "Error writing logging file: /dev/full: No space left on device\n"},
    };
}

std::string expand(std::string text, const std::string& folder)
{
    for (size_t at; (at = text.find('@')) != std::string::npos;)
        text.replace(at, 1, folder);
    for (size_t at; (at = text.find('%')) != std::string::npos;)
        text.replace(at, 1, tool_path("burstpick"));
    return text;
}

class burstpick_failure : public testing::TestWithParam<failure_case> {};

TEST_P(burstpick_failure, gives_message_and_status)
{
    const failure_case& c = GetParam();
    temp_dir dir;
    if (!c.input.empty())
        write_file(dir.file("in.wav"), c.input);
    std::vector<std::string> args;
    for (const auto& a : c.args)
        args.push_back(expand(a, dir.path));
    const auto r = run_tool("burstpick", args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err, expand(c.err, dir.path));
    EXPECT_EQ(r.out.find("Frames:"), c.status == 0 ? r.out.find("Frames:") : std::string::npos)
        << "a failed run does not log a count";
}

INSTANTIATE_TEST_SUITE_P(cases, burstpick_failure, testing::ValuesIn(failure_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Two outputs that lead to one file are refused before any is opened.
struct shared_output_case {
    const char* name;
    std::vector<std::string> args;  // "@" stands for the temporary folder
    const char* err;                // null: no conflict, the run goes on
};

void PrintTo(const shared_output_case& c, std::ostream* os) { *os << c.name; }

class burstpick_shared_output : public testing::TestWithParam<shared_output_case> {};

TEST_P(burstpick_shared_output, is_refused_and_leaves_every_file_as_it_was)
{
    const shared_output_case& c = GetParam();
    temp_dir dir;
    namespace fs = std::filesystem;
    write_file(dir.file("in.wav"), ac3_wave());
    write_file(dir.file("keep"), "kept");
    fs::create_hard_link(dir.file("keep"), dir.file("hard"));
    fs::create_symlink(dir.file("keep"), dir.file("link"));
    fs::create_symlink("new", dir.file("dangling"));
    fs::create_symlink("j.mpg", dir.file("j.ext"));
    fs::create_directory(dir.file("sub"));
    const auto listing = [&dir] {
        std::vector<std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(dir.path))
            files.push_back(entry.path().string() + "=" + (entry.is_regular_file() ? read_file(entry.path()) : ""));
        std::sort(files.begin(), files.end());
        return files;
    };
    const auto before = listing();
    std::vector<std::string> args;
    for (const auto& a : c.args)
        args.push_back(expand(a, dir.path));
    args.push_back(dir.file("in.wav"));
    const auto r = run_tool("burstpick", args);
    EXPECT_EQ(r.status, c.err != nullptr ? 1 : 0);
    EXPECT_EQ(r.err, c.err != nullptr ? expand(c.err, dir.path) : "");
    if (c.err != nullptr) {
        EXPECT_EQ(listing(), before) << "nothing is created or emptied";
    }
}

INSTANTIATE_TEST_SUITE_P(
    cases, burstpick_shared_output,
    testing::Values(
        shared_output_case{"output_and_log", {"-o", "@/s.ac3", "-L", "@/s.ac3"},
                           "Error: -o @/s.ac3 and -L @/s.ac3 name the same file\n"},
        shared_output_case{"through_dot_and_dot_dot", {"-E", "@/sub/../x", "-o", "@/./x"},
                           "Error: -o @/./x and -E @/sub/../x name the same file\n"},
        shared_output_case{"hard_link", {"-L", "@/hard", "-o", "@/keep"},
                           "Error: -o @/keep and -L @/hard name the same file\n"},
        shared_output_case{"symbolic_link", {"-E", "@/link", "-o", "@/keep"},
                           "Error: -o @/keep and -E @/link name the same file\n"},
        shared_output_case{"dangling_link", {"-o", "@/dangling", "-L", "@/new"},
                           "Error: -o @/dangling and -L @/new name the same file\n"},
        shared_output_case{"log_and_kernel", {"-L", "@/k.ac3", "-O", "@/k"},
                           "Error: -L @/k.ac3 and -O @/k (@/k.ac3) name the same file\n"},
        shared_output_case{"extension_and_kernel", {"-E", "@/q.ext", "-O", "@/q"},
                           "Error: -E @/q.ext and -O @/q (@/q.ext) name the same file\n"},
        shared_output_case{"kernel_files", {"-O", "@/j"}, "Error: -O @/j (@/j.ext) and -O @/j (@/j.mpg) name the same file\n"},
        shared_output_case{"repeated_letter", {"-o", "@/a", "-o", "@/a"}, nullptr},
        shared_output_case{"replaced_name", {"-o", "@/a", "-L", "@/b", "-o", "@/c", "-L", "@/a"}, nullptr},
        shared_output_case{"devices_store_nothing", {"-o", "/dev/null", "-L", "/dev/null"}, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(burstpick_program, spw_input_is_not_accepted_as_16_bit)
{
    temp_dir dir;
    audio_header h{};
    init_audio_header(&h);
    h.type = AUDIO_SPW;
    audio_file* f = open_audio_file(dir.file("in.spw").c_str(), "w", &h);
    ASSERT_NE(f, nullptr);
    const double frame[2] = {1, 2};
    write_audio_frame(frame, f);
    close_audio_file(f);
    const auto r = run_tool("burstpick", {dir.file("in.spw")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Error: Input f"), std::string::npos) << r.err;
}

TEST(burstpick_program, lost_standard_output_is_reported)
{
    temp_dir dir;
    write_file(dir.file("in.wav"), ac3_wave());
    const auto r = run_shell("burstpick '" + dir.file("in.wav") + "' > /dev/full");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "IEC-61937 bitstream: type: 1\n"
                     "Error writing outputfile: standard output: No space left on device\n");
}

TEST(burstpick_program, names_of_any_length)
{
    temp_dir dir;
    std::string folder = dir.path;
    for (int i = 0; i < 3; ++i) {
        folder += "/" + std::string(120, static_cast<char>('a' + i));
        std::filesystem::create_directory(folder);
    }
    const std::string kernel = folder + "/" + std::string(200, 'k');
    write_file(folder + "/in.wav", ac3_wave());
    const auto r = run_tool("burstpick", {"-L", folder + "/log", "-O", kernel, folder + "/in.wav"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(kernel + ".ac3"), std::string("AC3-onetwo!"));
    EXPECT_EQ(read_file(folder + "/log"), "IEC-61937 bitstream: type: 1\nFrames:        2 extracted\n");
}

}  // namespace

namespace {

TEST(burstpick_program, never_writes_over_its_input)
{
    // Opening the input as an output would empty it before it was read.
    temp_dir dir;
    const std::string in = dir.file("in.wav");
    const std::string file = ac3_wave();
    for (const char* letter : {"-o", "-E", "-L"}) {
        write_file(in, file);
        const auto r = run_tool("burstpick", {letter, dir.path + "/./in.wav", in});
        EXPECT_EQ(r.status, 1) << letter;
        EXPECT_EQ(r.err, "Error: outputfile is also the inputfile: " + dir.path + "/./in.wav\n") << letter;
        EXPECT_EQ(read_file(in), file) << letter;
    }
    // A kernel that names the input with the type's extension.
    const std::string kernel_input = dir.file("k.ac3");
    write_file(kernel_input, file);
    const auto r = run_tool("burstpick", {"-O", dir.file("k"), kernel_input});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error: outputfile is also the inputfile: " + kernel_input + "\n");
    EXPECT_EQ(read_file(kernel_input), file);
}

}  // namespace
