// Running the built programs and the peers from tests, and small file helpers.
#pragma once

#include <string>
#include <vector>

struct run_result {
    int status = -1;  // exit status, or 128 + signal number
    std::string out;
    std::string err;
};

// Path of one of our programs in the build's bin folder.
std::string tool_path(const std::string& name);

// Runs argv (argv[0] is looked up in PATH unless it holds a '/'), feeding
// input on standard input (closed after it), collecting both outputs.
run_result run_command(const std::vector<std::string>& argv, const std::string& input = {});

// Runs one of our programs by name with the given arguments.
run_result run_tool(const std::string& name, const std::vector<std::string>& args, const std::string& input = {});

// Runs a shell command line (for pipes and redirections) with the build's
// bin folder first in PATH.
run_result run_shell(const std::string& command, const std::string& input = {});

// Whether a peer program is installed.
bool have_program(const std::string& name);

// Parts of the names of parameterised tests, which take letters, digits and
// underscores only: a number ("minus_3" for -3), a type code by its type
// name ("aiff_16"; "aiff" for the bare family code, "code_27" outside the
// table), and a text with every other character run as one underscore.
std::string number_name(long long value);
std::string type_code_name(int type);
std::string text_name(const std::string& text);

// printf into a string, for the expected lines of logs.
std::string formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);

// A fresh folder, removed with its contents at the end of the test.
struct temp_dir {
    std::string path;
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;
    std::string file(const std::string& name) const { return path + "/" + name; }
};

// Skips the current test, saying which peer is missing.
#define REQUIRE_PEER(name)                                                      \
    do {                                                                        \
        if (!have_program(name))                                                \
            GTEST_SKIP() << "peer '" << (name) << "' is not installed";         \
    } while (0)
