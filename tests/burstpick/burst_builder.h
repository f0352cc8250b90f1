// Building IEC 61937 carriers in tests: rows of 16-bit words with bursts and
// stuffing, laid out as little- or big-endian bytes, and plain WAVE files.
#pragma once

#include "burstpick.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct word_row {
    std::vector<uint16_t> words;

    word_row& stuffing(size_t count, uint16_t value = 0)
    {
        words.insert(words.end(), count, value);
        return *this;
    }
    // A burst whose payload holds the given stream bytes, the high byte of
    // each word first; an odd last byte gets a zero beside it.  Pd defaults
    // to the payload's length in bits.
    word_row& burst(uint16_t pc, const std::string& payload, int pd = -1)
    {
        words.push_back(BURST_SYNC_A);
        words.push_back(BURST_SYNC_B);
        words.push_back(pc);
        words.push_back(static_cast<uint16_t>(pd >= 0 ? pd : static_cast<int>(payload.size() * 8)));
        for (size_t i = 0; i < payload.size(); i += 2) {
            const auto high = static_cast<unsigned char>(payload[i]);
            const auto low = i + 1 < payload.size() ? static_cast<unsigned char>(payload[i + 1]) : 0;
            words.push_back(static_cast<uint16_t>(high << 8 | low));
        }
        return *this;
    }
    std::string bytes(word_order order) const
    {
        std::string out;
        out.reserve(words.size() * 2);
        for (uint16_t w : words) {
            const char high = static_cast<char>(w >> 8), low = static_cast<char>(w & 0xFF);
            if (order == word_order::big_endian) {
                out += high;
                out += low;
            } else {
                out += low;
                out += high;
            }
        }
        return out;
    }
};

// Pc of a burst: data type, stream number and flags.
constexpr uint16_t pc_of(int type, int stream = 0, bool error = false, int info = 0)
{
    return static_cast<uint16_t>(type | (error ? 0x80 : 0) | info << 8 | stream << 13);
}

// Distinct payload bytes of the given length, seeded so bursts differ.
inline std::string pattern(size_t length, int seed)
{
    std::string s(length, '\0');
    for (size_t i = 0; i < length; ++i)
        s[i] = static_cast<char>((i * 7 + static_cast<size_t>(seed) * 31 + 1) & 0xFF);
    return s;
}

// A plain 44-byte-header WAVE file around the given sample bytes.
inline std::string wave_file(const std::string& samples, int channels = 2, int bits = 16, int rate = 48000)
{
    auto le32 = [](uint32_t v) {
        return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 24)};
    };
    auto le16 = [](uint32_t v) { return std::string{static_cast<char>(v), static_cast<char>(v >> 8)}; };
    const auto size = static_cast<uint32_t>(samples.size());
    const auto block = static_cast<uint32_t>(channels * bits / 8);
    return "RIFF" + le32(36 + size) + "WAVEfmt " + le32(16) + le16(1) + le16(static_cast<uint32_t>(channels)) +
           le32(static_cast<uint32_t>(rate)) + le32(static_cast<uint32_t>(rate) * block) + le16(block) +
           le16(static_cast<uint32_t>(bits)) + "data" + le32(size) + samples;
}

// Everything written to a temporary stream so far.
inline std::string stream_contents(FILE* stream)
{
    std::fflush(stream);
    std::string out;
    std::rewind(stream);
    char chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, stream)) > 0)
        out.append(chunk, got);
    return out;
}

// A temporary stream holding bytes, positioned at its start.
inline FILE* stream_of(const std::string& bytes)
{
    FILE* f = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    return f;
}
