// Helpers for the format tests: header bytes in and out of real files, and
// whole files decoded through the library.
#pragma once

#include "audiofile.h"
#include "byteorder.h"
#include "formats.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace formats_test {

// A record as a fresh output would carry it.
inline audio_header make_header(int type, int channels, int sfreq, int frames, const char* comment = "")
{
    audio_header h{};
    init_audio_header(&h);
    h.type = type;
    h.channels = channels;
    h.sfreq = sfreq;
    h.frames = frames;
    std::snprintf(h.comment, sizeof h.comment, "%s", comment);
    return h;
}

// What write_audio_header puts out for h.
inline std::string header_bytes(audio_header h)
{
    FILE* f = std::tmpfile();
    write_audio_header(f, &h);
    std::fflush(f);
    std::string out(static_cast<size_t>(std::ftell(f)), '\0');
    std::rewind(f);
    const size_t got = std::fread(out.data(), 1, out.size(), f);
    out.resize(got);
    std::fclose(f);
    return out;
}

struct read_result {
    int status = 0;
    audio_header header{};
    std::string err;       // what the readers printed
    long position = 0;     // where the stream stood afterwards
};

// Runs the reader chain on a regular file holding bytes.  The record starts
// as init_audio_header leaves it unless start is given.
inline read_result read_header_of(const std::string& bytes, const audio_header* start = nullptr)
{
    read_result r;
    if (start != nullptr)
        r.header = *start;
    else
        init_audio_header(&r.header);
    FILE* f = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    testing::internal::CaptureStderr();
    r.status = read_audio_header(f, &r.header);
    r.err = testing::internal::GetCapturedStderr();
    r.position = std::ftell(f);
    std::fclose(f);
    return r;
}

// Every sample of the file at path as read through the library; the header
// lands in *header.
inline std::vector<double> decode_file(const std::string& path, audio_header* header)
{
    std::vector<double> values;
    audio_file* file = open_audio_file(path.c_str(), "r", header);
    if (file == nullptr)
        return values;
    if (header->channels > 0) {
        std::vector<double> block(static_cast<size_t>(header->channels) * 4096);
        int got = 0;
        while (read_audio_frames(block.data(), 4096, &got, file) == 0)
            values.insert(values.end(), block.begin(), block.begin() + static_cast<long>(got) * header->channels);
    }
    close_audio_file(file);
    return values;
}

// Writes values (interleaved) as a file of header h's type at path.
inline bool encode_file(const std::string& path, audio_header h, const std::vector<double>& values)
{
    h.frames = static_cast<int32_t>(values.size() / static_cast<size_t>(h.channels));
    audio_file* file = open_audio_file(path.c_str(), "w", &h);
    if (file == nullptr)
        return false;
    write_audio_frames(values.data(), h.frames, file);
    return close_audio_file(file) == 0;
}

inline uint32_t be32_at(const std::string& s, size_t at) { return load_be32(reinterpret_cast<const unsigned char*>(s.data() + at)); }
inline uint32_t le32_at(const std::string& s, size_t at) { return load_le32(reinterpret_cast<const unsigned char*>(s.data() + at)); }
inline uint16_t be16_at(const std::string& s, size_t at) { return load_be16(reinterpret_cast<const unsigned char*>(s.data() + at)); }

inline std::string be32(uint32_t v)
{
    std::string s(4, '\0');
    store_be32(reinterpret_cast<unsigned char*>(s.data()), v);
    return s;
}
inline std::string be16(uint32_t v)
{
    std::string s(2, '\0');
    store_be16(reinterpret_cast<unsigned char*>(s.data()), v);
    return s;
}
inline std::string le32(uint32_t v)
{
    std::string s(4, '\0');
    store_le32(reinterpret_cast<unsigned char*>(s.data()), v);
    return s;
}

// A stream that cannot seek, holding bytes (small enough for the pipe).
inline FILE* pipe_with(const std::string& bytes)
{
    int fds[2];
    if (pipe(fds) != 0)
        return nullptr;
    const ssize_t written = write(fds[1], bytes.data(), bytes.size());
    close(fds[1]);
    if (written != static_cast<ssize_t>(bytes.size())) {
        close(fds[0]);
        return nullptr;
    }
    return fdopen(fds[0], "rb");
}

// Bytes written as hex pairs, for readable expectations.
inline std::string hex(const std::string& s)
{
    std::string out;
    char pair[4];
    for (unsigned char c : s) {
        std::snprintf(pair, sizeof pair, "%02X ", c);
        out += pair;
    }
    if (!out.empty())
        out.pop_back();
    return out;
}

}  // namespace formats_test
