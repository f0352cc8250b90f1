// Small valid inputs for the fault tests, built byte by byte so that the
// tests need no peer: a 16-bit stereo WAVE file of IEC 61937 bursts, MPEG
// Layer I frames, MPEG-2 extension frames with their CRC, raw samples; and
// the checks every run of a program on a bad input must pass.
#pragma once

#include "run.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

inline void put_le16(std::string& s, unsigned v)
{
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8 & 0xFF);
}

inline void put_le32(std::string& s, uint32_t v)
{
    put_le16(s, v & 0xFFFF);
    put_le16(s, v >> 16);
}

// A plain PCM WAVE file of 16-bit stereo frames holding `samples`.
inline std::string wave_16_stereo(const std::string& samples)
{
    std::string w = "RIFF";
    put_le32(w, static_cast<uint32_t>(36 + samples.size()));
    w += "WAVEfmt ";
    put_le32(w, 16);
    put_le16(w, 1);
    put_le16(w, 2);
    put_le32(w, 48000);
    put_le32(w, 48000 * 4);
    put_le16(w, 4);
    put_le16(w, 16);
    w += "data";
    put_le32(w, static_cast<uint32_t>(samples.size()));
    return w + samples;
}

// Three AC-3 bursts (data type 1) of 32 payload bytes each, little-endian
// words, each followed by a few stuffing words.
inline std::string iec_bursts()
{
    std::string s;
    for (int burst = 0; burst < 3; ++burst) {
        put_le16(s, 0xF872);
        put_le16(s, 0x4E1F);
        put_le16(s, 0x0001);
        put_le16(s, 32 * 8);
        for (int i = 0; i < 16; ++i)
            put_le16(s, static_cast<unsigned>(0x0B77 + 257 * (burst * 16 + i)) & 0xFFFF);
        s.append(8, '\0');
    }
    return s;
}

constexpr size_t WAVE_HEADER_BYTES = 44;
constexpr size_t IEC_BURST_BYTES = 8 + 32;

// MPEG-1 Layer I frames, 32 kbit/s at 48 kHz: 32 bytes each.
constexpr size_t LAYER1_FRAME_BYTES = 32;
inline std::string layer1_frames(int count)
{
    std::string s;
    for (int f = 0; f < count; ++f) {
        std::string frame(LAYER1_FRAME_BYTES, static_cast<char>(0x10 + f));
        frame[0] = '\xFF';
        frame[1] = '\xFF';  // MPEG-1, Layer I, no CRC
        frame[2] = '\x14';  // bitrate index 1, 48 kHz, no padding
        frame[3] = '\x00';
        s += frame;
    }
    return s;
}

// MPEG-2 extension frames of 24 bytes with a correct CRC-16 (x^16 + x^15 +
// x^2 + 1 from 0xFFFF over bits 28 on, at most 128 bits).
constexpr size_t EXTENSION_FRAME_BYTES = 24;
inline std::string extension_frames(int count)
{
    std::string s;
    for (int f = 0; f < count; ++f) {
        std::string frame(EXTENSION_FRAME_BYTES, static_cast<char>(0x21 + f));
        frame[0] = '\x7F';
        frame[3] = static_cast<char>(EXTENSION_FRAME_BYTES >> 7 & 0x0F);
        frame[4] = static_cast<char>((EXTENSION_FRAME_BYTES & 0x7F) << 1);
        unsigned reg = 0xFFFF;
        for (size_t n = 28; n < 28 + 128; ++n) {
            const unsigned bit = static_cast<unsigned char>(frame[n / 8]) >> (7 - n % 8) & 1;
            const bool top = (reg & 0x8000) != 0;
            reg = reg << 1 & 0xFFFF;
            if (top != (bit == 1))
                reg ^= 0x8005;
        }
        frame[1] = static_cast<char>(0xF0 | reg >> 12);
        frame[2] = static_cast<char>(reg >> 4 & 0xFF);
        frame[3] = static_cast<char>((reg & 0xF) << 4 | (static_cast<unsigned char>(frame[3]) & 0x0F));
        s += frame;
    }
    return s;
}

// What a sanitizer prints when it finds something.
inline bool has_sanitizer_report(const std::string& err)
{
    return err.find("Sanitizer") != std::string::npos || err.find("runtime error:") != std::string::npos;
}

// A failure as users should meet it: status 1, a message, no crash.
inline void expect_failure(const run_result& r)
{
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_FALSE(r.err.empty()) << "no message";
    EXPECT_FALSE(has_sanitizer_report(r.err)) << r.err;
}

// A defined answer: status 0, or 1 with a message; never a signal or a
// sanitizer report.
inline void expect_defined(const run_result& r)
{
    EXPECT_TRUE(r.status == 0 || r.status == 1) << "status " << r.status << "\n" << r.err;
    if (r.status == 1) {
        EXPECT_FALSE(r.err.empty()) << "status 1 without a message";
    }
    EXPECT_FALSE(has_sanitizer_report(r.err)) << r.err;
}
