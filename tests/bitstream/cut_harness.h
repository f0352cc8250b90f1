// Runs a cutter's work function in-process on bytes, collecting the output,
// the log and the error stream, and scans its options into settings; shared
// by the framesnip and chunksnip tests.
#pragma once

#include "cutter.h"
#include "option.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

struct cut_result {
    int status = -1;
    std::string out;
    std::string log;
    std::string err;
};

inline std::string contents_of(FILE* stream)
{
    std::string text;
    std::rewind(stream);
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, stream)) > 0)
        text.append(chunk, n);
    return text;
}

inline FILE* stream_with(const std::string& bytes)
{
    FILE* stream = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::rewind(stream);
    return stream;
}

// cut is framesnip_cut or chunksnip_cut.  out, when given, replaces the
// temporary output file (its bytes are then not collected).
template <class Settings>
cut_result run_cut(int (*cut)(const Settings&, const cut_streams&), const Settings& settings, const std::string& input,
                   FILE* out = nullptr)
{
    FILE* in = stream_with(input);
    FILE* own_out = out != nullptr ? nullptr : std::tmpfile();
    FILE* log = std::tmpfile();
    FILE* err = std::tmpfile();
    cut_result result;
    result.status = cut(settings, {in, out != nullptr ? out : own_out, log, err});
    if (own_out != nullptr) {
        result.out = contents_of(own_out);
        std::fclose(own_out);
    }
    result.log = contents_of(log);
    result.err = contents_of(err);
    std::fclose(in);
    std::fclose(log);
    std::fclose(err);
    return result;
}

inline std::string bytes_of(std::initializer_list<int> values)
{
    std::string bytes;
    for (int v : values)
        bytes.push_back(static_cast<char>(v));
    return bytes;
}

// The settings that scan (framesnip_options or chunksnip_options) makes of
// the options, which must leave it going on.
template <class Settings>
Settings settings_from(int (*scan)(int, char*[], Settings&), const char* program,
                       const std::vector<const char*>& options)
{
    std::vector<std::string> storage{program};
    for (const char* o : options)
        storage.emplace_back(o);
    std::vector<char*> argv;
    for (auto& s : storage)
        argv.push_back(s.data());
    reset_option_scanner();
    Settings settings;
    EXPECT_EQ(scan(static_cast<int>(argv.size()), argv.data(), settings), -1);
    settings.cut.input = settings.cut.output = nullptr;  // the argv strings die here
    return settings;
}
