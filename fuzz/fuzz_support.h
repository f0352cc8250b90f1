// What every fuzz target shares: quiet standard streams, settings drawn from
// the leading input bytes, memory streams, and a check that stops the run
// with a clear message when a property of the code under test breaks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// The code under test reports bad input on standard error at every run; the
// noise would bury libFuzzer's own lines.  libFuzzer keeps its own handle
// on the original standard error (taken before this runs), and sanitizer
// reports go to the descriptor, so only our messages are silenced.  Set
// FUZZ_VERBOSE in the environment to see them, e.g. when replaying a crash.
inline void silence_standard_streams()
{
    if (std::getenv("FUZZ_VERBOSE") != nullptr)
        return;
    FILE* null_out = std::fopen("/dev/null", "w");
    FILE* null_err = std::fopen("/dev/null", "w");
    if (null_out == nullptr || null_err == nullptr)
        return;
    // glibc's standard streams are ordinary variables that may be replaced.
    stdout = null_out;
    stderr = null_err;
}

// A property of the code under test does not hold: say which, and stop the
// run so that libFuzzer keeps the input as a finding.
[[noreturn]] inline void fuzz_fail(const char* file, int line, const char* what)
{
    // Straight to the descriptor: the stderr stream may be silenced.
    dprintf(2, "\n%s:%d: property failed: %s\n", file, line, what);
    std::abort();
}

#define FUZZ_CHECK(condition)                                  \
    do {                                                       \
        if (!(condition))                                      \
            fuzz_fail(__FILE__, __LINE__, #condition);         \
    } while (0)

// Settings drawn byte by byte from the front of the input; 0 once the input
// is used up, so that short inputs still run with defaults.
struct byte_cursor {
    const uint8_t* data;
    size_t size;

    uint8_t next()
    {
        if (size == 0)
            return 0;
        --size;
        return *data++;
    }
};

// The bytes as a read-only stream without a descriptor.  The copy is the
// stream's own (released with it) so that nothing can write through to the
// fuzzer's input.  Null for no bytes: fmemopen refuses an empty buffer.
struct memory_input {
    FILE* stream = nullptr;
    char* copy = nullptr;

    memory_input(const uint8_t* data, size_t size)
    {
        if (size == 0)
            return;
        copy = static_cast<char*>(std::malloc(size));
        if (copy == nullptr)
            return;
        std::memcpy(copy, data, size);
        stream = fmemopen(copy, size, "rb");
    }
    ~memory_input()
    {
        if (stream != nullptr)
            std::fclose(stream);
        std::free(copy);
    }
    memory_input(const memory_input&) = delete;
    memory_input& operator=(const memory_input&) = delete;
    // For callers that hand the stream to code that closes it.
    FILE* release()
    {
        FILE* s = stream;
        stream = nullptr;
        return s;
    }
};

// A read-only stream of two pieces of memory one after the other (a long
// filler and the fuzzed bytes), read without copying either; on request it
// can be repositioned, as a file can.
struct joined_input {
    struct pieces {
        const uint8_t* first;
        size_t first_size;
        const uint8_t* second;
        size_t second_size;
        size_t position;
    };
    pieces state;
    FILE* stream = nullptr;

    joined_input(const uint8_t* first, size_t first_size, const uint8_t* second, size_t second_size,
                 bool seekable = false)
        : state{first, first_size, second, second_size, 0}
    {
        cookie_io_functions_t io{};
        io.read = [](void* cookie, char* buffer, size_t size) -> ssize_t {
            auto& p = *static_cast<pieces*>(cookie);
            size_t done = 0;
            while (done < size) {
                const bool in_first = p.position < p.first_size;
                const uint8_t* from = in_first ? p.first + p.position : p.second + (p.position - p.first_size);
                const size_t left = in_first ? p.first_size - p.position : p.first_size + p.second_size - p.position;
                const size_t n = left < size - done ? left : size - done;
                if (n == 0)
                    break;
                std::memcpy(buffer + done, from, n);
                done += n;
                p.position += n;
            }
            return static_cast<ssize_t>(done);
        };
        if (seekable)
            io.seek = [](void* cookie, off64_t* offset, int whence) -> int {
                auto& p = *static_cast<pieces*>(cookie);
                const auto size = static_cast<off64_t>(p.first_size + p.second_size);
                const off64_t to = *offset + (whence == SEEK_CUR ? static_cast<off64_t>(p.position)
                                              : whence == SEEK_END ? size
                                                                   : 0);
                if (to < 0 || to > size)
                    return -1;
                p.position = static_cast<size_t>(to);
                *offset = to;
                return 0;
            };
        stream = fopencookie(&state, "rb", io);
    }
    ~joined_input()
    {
        if (stream != nullptr)
            std::fclose(stream);
    }
    joined_input(const joined_input&) = delete;
    joined_input& operator=(const joined_input&) = delete;
};

// A growing output in memory (open_memstream): its bytes are in data/size
// after a flush or close.
struct memory_output {
    FILE* stream = nullptr;
    char* data = nullptr;
    size_t size = 0;

    memory_output() { stream = open_memstream(&data, &size); }
    ~memory_output()
    {
        if (stream != nullptr)
            std::fclose(stream);
        std::free(data);
    }
    memory_output(const memory_output&) = delete;
    memory_output& operator=(const memory_output&) = delete;
    // Closes the stream (or records that the code under test did) and
    // leaves the bytes.
    void close()
    {
        if (stream != nullptr)
            std::fclose(stream);
        stream = nullptr;
    }
    void closed_elsewhere() { stream = nullptr; }
};
