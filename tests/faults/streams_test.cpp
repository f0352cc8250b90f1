// Every program against failing streams: outputs that cannot be written
// (/dev/full, a closed standard output), inputs that are missing, are
// folders, cannot be read, or a closed standard input, and outputs in a
// folder that does not exist.  Each must end with status 1 and a message,
// never with success, a signal or a sanitizer report.
#include "fault_inputs.h"
#include "run.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace {

// The inputs every case may name, in a fresh folder.
struct fault_folder {
    temp_dir dir;
    fault_folder()
    {
        write_file(dir.file("in.raw"), std::string(400, '\x05'));
        write_file(dir.file("iec.wav"), wave_16_stereo(iec_bursts()));
        write_file(dir.file("in.mp2"), layer1_frames(3));
        write_file(dir.file("in.ext"), extension_frames(3));
        std::filesystem::create_directory(dir.file("folder"));
        const run_result made = run_tool("tonesmith", {"-c", "2", "-n", "100", dir.file("in.wav")});
        EXPECT_EQ(made.status, 0) << made.err;
    }
    run_result run(const std::string& command) const { return run_shell("cd '" + dir.path + "' && " + command); }
};

// A row's test name: its command, the redirections that tell rows apart in words.
std::string command_name(const ::testing::TestParamInfo<std::string>& info)
{
    std::string command = info.param;
    const std::pair<std::string, std::string> words[] = {{">&-", " stdout_closed"}, {">", " into "}};
    for (const auto& [from, to] : words)
        for (size_t at = command.find(from); at != std::string::npos; at = command.find(from, at + to.size()))
            command.replace(at, from.size(), to);
    return text_name(command);
}

// ---- outputs that lose what is written ------------------------------------------

const std::vector<std::string> lost_writes{
    "tonesmith -n 100 /dev/full",
    "tonesmith -n 100 > /dev/full",
    "tonesmith -n 100 >&-",
    "sonomorph -o /dev/full in.wav",
    "sonomorph in.wav > /dev/full",
    "sonomorph in.wav >&-",
    "pcmwrap -o /dev/full in.raw",
    "pcmwrap in.raw > /dev/full",
    "pcmwrap in.raw >&-",
    "pcmpeel -o /dev/full in.wav",
    "pcmpeel in.wav > /dev/full",
    "pcmpeel in.wav >&-",
    "burstpick -o /dev/full iec.wav",
    "burstpick iec.wav > /dev/full",
    "burstpick iec.wav >&-",
    "burstpick -v -L /dev/full -o out iec.wav",
    "burstpick -v -o out iec.wav > /dev/full",
    "framesnip -i in.mp2 -o /dev/full",
    "framesnip -i in.mp2 > /dev/full",
    "framesnip -i in.mp2 >&-",
    // The log lines go to standard output when the frames go to a file.
    "framesnip -l -i in.mp2 -o out > /dev/full",
    "framesnip -l -i in.mp2 -o out >&-",
    "chunksnip -i in.ext -o /dev/full",
    "chunksnip -i in.ext > /dev/full",
    "chunksnip -i in.ext >&-",
    "chunksnip -l -i in.ext -o out > /dev/full",
    "chunksnip -l -i in.ext -o out >&-",
};

class lost_write : public ::testing::TestWithParam<std::string> {};

TEST_P(lost_write, fails_with_a_message)
{
    fault_folder folder;
    expect_failure(folder.run(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(faults, lost_write, ::testing::ValuesIn(lost_writes), command_name);

// ---- inputs that cannot be had ----------------------------------------------------

// Each program reading the input named IN; outputs go to a file.
const std::vector<std::string> readers{
    "sonomorph -o out IN",
    "pcmwrap -o out IN",
    "pcmpeel -o out IN",
    "burstpick -o out IN",
    "framesnip -i IN -o out",
    "chunksnip -i IN -o out",
};

std::string with_input(std::string command, const std::string& input)
{
    command.replace(command.find("IN"), 2, input);
    return command;
}

class bad_input : public ::testing::TestWithParam<std::string> {};

TEST_P(bad_input, missing)
{
    fault_folder folder;
    expect_failure(folder.run(with_input(GetParam(), "missing")));
}

TEST_P(bad_input, folder)
{
    fault_folder folder;
    expect_failure(folder.run(with_input(GetParam(), "folder")));
}

TEST_P(bad_input, without_read_permission)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "running as root: permissions do not stop reading (the folder case covers a read error)";
    fault_folder folder;
    write_file(folder.dir.file("locked"), read_file(folder.dir.file("in.wav")));
    std::filesystem::permissions(folder.dir.file("locked"), std::filesystem::perms::none);
    expect_failure(folder.run(with_input(GetParam(), "locked")));
}

// With standard input closed, the programs that read it by default.
TEST_P(bad_input, standard_input_closed)
{
    std::string command = GetParam();
    const size_t named = command.find(" -i IN");
    if (named != std::string::npos)
        command.erase(named, 6);
    else
        command.erase(command.find(" IN"), 3);
    fault_folder folder;
    expect_failure(folder.run(command + " <&-"));
}

INSTANTIATE_TEST_SUITE_P(faults, bad_input, ::testing::ValuesIn(readers), command_name);

TEST(standard_input_closed, tonesmith_reads_none)
{
    fault_folder folder;
    const run_result r = folder.run("tonesmith -n 10 out.wav <&-");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(folder.dir.file("out.wav")).size(), 44u + 20u);
}

// ---- outputs in a folder that does not exist ------------------------------------------

const std::vector<std::string> unmade_outputs{
    "tonesmith -n 10 nowhere/out",
    "sonomorph -o nowhere/out in.wav",
    "pcmwrap -o nowhere/out in.raw",
    "pcmpeel -o nowhere/out in.wav",
    "burstpick -o nowhere/out iec.wav",
    "burstpick -O nowhere/out iec.wav",
    "burstpick -E nowhere/out iec.wav",
    "burstpick -L nowhere/out iec.wav",
    "framesnip -i in.mp2 -o nowhere/out",
    "chunksnip -i in.ext -o nowhere/out",
};

class unmade_output : public ::testing::TestWithParam<std::string> {};

TEST_P(unmade_output, fails_with_a_message)
{
    fault_folder folder;
    expect_failure(folder.run(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(faults, unmade_output, ::testing::ValuesIn(unmade_outputs), command_name);

}  // namespace

namespace {

// An output named like the file redirected to standard input would empty
// that file before a byte of it was read.
TEST(output_is_input, redirected_standard_input_is_never_overwritten)
{
    temp_dir dir;
    const std::string in = dir.file("in.wav");
    run_shell("tonesmith -c 2 -n 100 '" + in + "'");
    const std::string bytes = read_file(in);
    ASSERT_FALSE(bytes.empty());
    for (const std::string command : {"sonomorph -o IN", "pcmpeel -o IN", "burstpick -o IN", "burstpick -L IN"}) {
        std::string line = command;
        line.replace(line.find("IN"), 2, "'" + in + "'");
        const run_result r = run_shell(line + " < '" + in + "'");
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_NE(r.err.find("inputfile"), std::string::npos) << command << ": " << r.err;
        EXPECT_EQ(read_file(in), bytes) << command;
    }
}

}  // namespace
