// Every seed of the fuzz corpora and every input that once found a fault
// (tests/faults/regressions/<target>/) run through its fuzz target, here
// an ordinary function.  A target checks its own properties and aborts when
// one fails; under the sanitizer build a memory or undefined-behaviour
// fault stops the run as well.
#include "run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

extern "C" {
#define REPLAY_DECLARE(name) int replay_##name(const uint8_t* data, size_t size);
#ifdef REPLAY_AUDIO_FD
REPLAY_DECLARE(audio_fd)
#endif
#ifdef REPLAY_AUDIO_STREAM
REPLAY_DECLARE(audio_stream)
#endif
#ifdef REPLAY_OPTIONS
REPLAY_DECLARE(options)
#endif
#ifdef REPLAY_FRAMESNIP_CUT
REPLAY_DECLARE(framesnip_cut)
#endif
#ifdef REPLAY_CHUNKSNIP_CUT
REPLAY_DECLARE(chunksnip_cut)
#endif
#ifdef REPLAY_BURST_SCAN
REPLAY_DECLARE(burst_scan)
#endif
#ifdef REPLAY_EXTENSION_SPLIT
REPLAY_DECLARE(extension_split)
#endif
}

namespace {

namespace fs = std::filesystem;

struct replay_target {
    const char* name;
    int (*run)(const uint8_t*, size_t);
};

const std::vector<replay_target>& targets()
{
    static const std::vector<replay_target> list{
#ifdef REPLAY_AUDIO_FD
        {"audio_fd", replay_audio_fd},
#endif
#ifdef REPLAY_AUDIO_STREAM
        {"audio_stream", replay_audio_stream},
#endif
#ifdef REPLAY_OPTIONS
        {"options", replay_options},
#endif
#ifdef REPLAY_FRAMESNIP_CUT
        {"framesnip_cut", replay_framesnip_cut},
#endif
#ifdef REPLAY_CHUNKSNIP_CUT
        {"chunksnip_cut", replay_chunksnip_cut},
#endif
#ifdef REPLAY_BURST_SCAN
        {"burst_scan", replay_burst_scan},
#endif
#ifdef REPLAY_EXTENSION_SPLIT
        {"extension_split", replay_extension_split},
#endif
    };
    return list;
}

std::vector<fs::path> files_in(const fs::path& folder)
{
    std::vector<fs::path> files;
    if (fs::is_directory(folder))
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.is_regular_file())
                files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// The code under test reports bad input on the standard streams; the
// replay keeps the test's own output readable.
struct quiet_streams {
    FILE* saved_out = stdout;
    FILE* saved_err = stderr;
    FILE* null_out = std::fopen("/dev/null", "w");
    FILE* null_err = std::fopen("/dev/null", "w");
    quiet_streams()
    {
        std::fflush(stdout);
        std::fflush(stderr);
        stdout = null_out;
        stderr = null_err;
    }
    ~quiet_streams()
    {
        stdout = saved_out;
        stderr = saved_err;
        std::fclose(null_out);
        std::fclose(null_err);
    }
};

size_t replay_folder(const replay_target& target, const fs::path& folder)
{
    const std::vector<fs::path> files = files_in(folder);
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.string());
        const std::string bytes = read_file(file.string());
        // The name goes out first: a failing property aborts the process.
        std::fprintf(stderr, "replaying %s\n", file.c_str());
        quiet_streams quiet;
        EXPECT_EQ(target.run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0);
    }
    return files.size();
}

class replay : public ::testing::TestWithParam<replay_target> {};

TEST_P(replay, seed_corpus)
{
    const fs::path folder = fs::path(SONO_SOURCE_DIR) / "fuzz" / "corpus" / GetParam().name;
    EXPECT_GT(replay_folder(GetParam(), folder), 0u) << "no seeds in " << folder;
}

TEST_P(replay, regressions)
{
    replay_folder(GetParam(), fs::path(SONO_SOURCE_DIR) / "tests" / "faults" / "regressions" / GetParam().name);
}

// Inputs the fuzzers meet at once, kept here so that they run whatever the
// corpora hold: nothing, one byte of each value, and runs of 0x00 and 0xFF.
TEST_P(replay, tiny_inputs)
{
    quiet_streams quiet;
    const uint8_t none = 0;
    EXPECT_EQ(GetParam().run(&none, 0), 0);
    for (int value = 0; value < 256; ++value) {
        const auto byte = static_cast<uint8_t>(value);
        EXPECT_EQ(GetParam().run(&byte, 1), 0);
    }
    for (const uint8_t fill : {uint8_t{0x00}, uint8_t{0xFF}}) {
        const std::vector<uint8_t> run(600, fill);
        EXPECT_EQ(GetParam().run(run.data(), run.size()), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(faults, replay, ::testing::ValuesIn(targets()),
                         [](const ::testing::TestParamInfo<replay_target>& info) { return info.param.name; });

}  // namespace
