// burstpick against real IEC 61937 carriers: ffmpeg's spdif muxer packs
// AC-3, MPEG audio and DTS streams that ffmpeg, lame and twolame encode; the
// carriers are 16-bit stereo WAVE files (made by ffmpeg) and big-endian AIFF
// and SUN files (converted by sox).
//
// What the muxer does, and what these tests hold burstpick to: Pd is the
// payload length (in bytes for types 17, 21 and 22, else in bits), rounded
// up to whole words; an odd frame's last byte stands in the high byte of its
// last word with a zero beside it.  The stream that the bursts carry is
// therefore each frame followed, when its length is odd, by one zero byte;
// AAC frames come back by their ADTS lengths, without it.  TrueHD comes back
// without its MAT framing, as the units ffmpeg sent.
#include "run.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>

namespace {

struct codec_case {
    const char* name;
    const char* peer;       // encoder program besides ffmpeg
    const char* extension;  // of the elementary stream, so that ffmpeg knows it
    const char* demuxer;    // ffmpeg's name of the stream format
    int rate;
    int data_type;
    const char* encode;     // shell command: %s is the stream's path, %w a 16-bit WAVE of a signal
    int carrier_rate = 0;   // of the IEC 61937 carrier, when not the stream's own
    const char* spdif = "";  // options of ffmpeg's spdif muxer
    size_t per_burst = 1;    // frames a burst holds
};

const codec_case codecs[] = {
    {"ac3", "ffmpeg", ".ac3", "ac3", 48000, 1, "ffmpeg -v error -y -i %w -c:a ac3 -b:a 192k -f ac3 %s"},
    {"mp2_odd_frames", "ffmpeg", ".mp2", "mp3", 44100, 5, "ffmpeg -v error -y -i %w -c:a mp2 -b:a 128k -f mp2 %s"},
    {"mp2_twolame", "twolame", ".mp2", "mp3", 44100, 5, "twolame --quiet -b 192 %w %s"},
    {"mp3_lame", "lame", ".mp3", "mp3", 44100, 5, "lame --quiet -t -b 128 %w %s"},
    {"mp2_low_rate", "ffmpeg", ".mp2", "mp3", 24000, 9, "ffmpeg -v error -y -i %w -c:a mp2 -b:a 64k -f mp2 %s"},
    // ffmpeg carries an MPEG-2 frame whose private bit is set as type 6
    // (with extension); these LSF layer 2 frames have none, and the pad
    // byte behind an odd one is no extension.
    {"mp2_low_rate_type_6", "twolame", ".mp2", "mp3", 22050, 6, "twolame --quiet --private-ext -d -b 64 %w %s"},
    {"mp3_low_rate", "lame", ".mp3", "mp3", 22050, 10, "lame --quiet -t -b 64 %w %s"},
    {"aac", "ffmpeg", ".aac", "aac", 48000, 7, "ffmpeg -v error -y -i %w -c:a aac -b:a 128k -f adts %s"},
    {"dts", "ffmpeg", ".dts", "dts", 48000, 11, "ffmpeg -v error -y -i %w -c:a dts -strict -2 -b:a 768k -f dts %s"},
    {"dts_type_iv", "ffmpeg", ".dts", "dts", 48000, 17, "ffmpeg -v error -y -i %w -c:a dts -strict -2 -b:a 768k -f dts %s",
     192000, "-dtshd_rate 192000"},
    // E-AC-3 and TrueHD go at four and sixteen times the rate.
    {"eac3", "ffmpeg", ".eac3", "eac3", 48000, 21, "ffmpeg -v error -y -i %w -c:a eac3 -b:a 192k -f eac3 %s", 192000},
    {"truehd", "ffmpeg", ".thd", "truehd", 48000, 22, "ffmpeg -v error -y -i %w -c:a truehd -strict -2 -f truehd %s",
     768000, "", 24},
};

// ffmpeg sends whole MAT frames only, one each 61440 bytes, and holds the
// last units back.
size_t frames_sent(const codec_case& c, const std::string& carrier, size_t frames)
{
    return c.per_burst > 1 ? std::filesystem::file_size(carrier) / 61440 * c.per_burst : frames;
}

struct carrier_case {
    const char* name;
    const char* peer;  // program that makes it from the WAVE carrier
    const char* convert;  // %i the WAVE carrier, %o the file to make
};

void PrintTo(const codec_case& c, std::ostream* os) { *os << c.name; }

const carrier_case carriers[] = {
    {"wave", "ffmpeg", nullptr},
    {"aiff", "sox", "sox %i --comment '' -t aiff %o"},
    {"sun", "sox", "sox %i --comment '' -t au -e signed-integer %o"},
};

void PrintTo(const carrier_case& c, std::ostream* os) { *os << c.name; }

std::string substitute(std::string text, const std::map<char, std::string>& values)
{
    for (size_t at = 0; (at = text.find('%', at)) != std::string::npos;) {
        const std::string& value = values.at(text[at + 1]);
        text.replace(at, 2, value);
        at += value.size();
    }
    return text;
}

// Frame sizes of an elementary stream as ffmpeg's demuxer cuts it.
std::vector<size_t> packet_sizes(const std::string& path)
{
    const auto r = run_command({"ffprobe", "-v", "error", "-show_entries", "packet=size", "-of", "csv=p=0", path});
    std::vector<size_t> sizes;
    std::istringstream lines(r.out);
    for (size_t size; lines >> size;)
        sizes.push_back(size);
    return sizes;
}

// The peer-made files of one codec: the elementary stream and its WAVE
// carrier.  Made once per build tree and shared by the test processes (each
// case runs in a process of its own): made aside, then renamed into place.
struct fixture {
    std::string stream, carrier;
};

fixture make_fixture(const codec_case& c)
{
    const std::string folder = std::string(SONO_BIN_DIR) + "/../burstpick-peer-fixtures";
    const fixture f{folder + "/" + c.name + c.extension, folder + "/" + c.name + ".wav"};
    if (std::filesystem::exists(f.stream))  // renamed last
        return f;
    const std::string work = folder + "/making-" + std::to_string(getpid()) + "-" + c.name;
    std::filesystem::create_directories(work);
    const std::string signal = work + "/signal.wav", stream = work + "/stream" + c.extension,
                      carrier = work + "/carrier.wav";
    const std::string rate = std::to_string(c.rate);
    const auto made = run_shell(
        "ffmpeg -v error -y -f lavfi -i 'sine=frequency=440:duration=1:sample_rate=" + rate +
        "' -af 'volume=0.5' -ac 2 -c:a pcm_s16le -fflags +bitexact '" + signal + "' && " +
        substitute(c.encode, {{'s', "'" + stream + "'"}, {'w', "'" + signal + "'"}}) + " && ffmpeg -v error -y -i '" +
        stream + "' -c copy -f spdif " + c.spdif + " - | ffmpeg -v error -y -f s16le -ar " +
        (c.carrier_rate != 0 ? std::to_string(c.carrier_rate) : rate) +
        " -ac 2 -i - -c copy -fflags +bitexact -f wav '" + carrier + "'");
    if (made.status == 0) {
        std::filesystem::rename(carrier, f.carrier);
        std::filesystem::rename(stream, f.stream);
    } else {
        ADD_FAILURE() << "making " << c.name << " failed: " << made.err;
    }
    std::filesystem::remove_all(work);
    return made.status == 0 ? f : fixture{};
}

class burstpick_carried_stream : public testing::TestWithParam<std::tuple<codec_case, carrier_case>> {};

TEST_P(burstpick_carried_stream, comes_back_as_the_bursts_carry_it)
{
    const auto& [codec, carrier] = GetParam();
    REQUIRE_PEER("ffmpeg");
    REQUIRE_PEER("ffprobe");
    REQUIRE_PEER(codec.peer);
    REQUIRE_PEER(carrier.peer);
    const fixture f = make_fixture(codec);
    ASSERT_FALSE(f.stream.empty());
    temp_dir dir;
    std::string input = f.carrier;
    if (carrier.convert != nullptr) {
        input = dir.file(std::string("carrier.") + carrier.name);
        const auto r = run_shell(substitute(carrier.convert, {{'i', "'" + f.carrier + "'"}, {'o', "'" + input + "'"}}));
        ASSERT_EQ(r.status, 0) << r.err;
    }

    const std::vector<size_t> sizes = packet_sizes(f.stream);
    ASSERT_GT(sizes.size(), 10u);
    const std::string elementary = read_file(f.stream);
    // The splitter of type 6 writes each base frame as long as its header
    // says, and logs the pad byte Pd counts behind an odd one.
    const bool split = codec.data_type == 6, padded = !split && codec.data_type != 7;
    const size_t kept = frames_sent(codec, f.carrier, sizes.size());
    std::string expected, log = "IEC-61937 bitstream: type: " + std::to_string(codec.data_type) + "\n";
    size_t at = 0;
    bool odd = false;
    for (size_t i = 0; i < kept; ++i) {
        const size_t size = sizes[i];
        expected += elementary.substr(at, size);
        if (size % 2 != 0 && padded)
            expected += '\0';
        if (size % 2 != 0 && split)
            log += formatted("Frame: %6zu ext_nbytes:    1 calculated from Pd differs from: ext_header:    0\n", i);
        odd |= size % 2 != 0 && padded;
        at += size;
    }

    const std::string output = dir.file(std::string("out") + codec.extension);
    std::vector<std::string> args = {"-o", output, input};
    if (split)
        args.insert(args.begin(), {"-E", dir.file("out.ext")});
    const auto r = run_tool("burstpick", args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, log + formatted("Frames: %8zu extracted\n", kept / codec.per_burst));
    EXPECT_EQ(read_file(dir.file("out.ext")), "");
    const std::string extracted = read_file(output);
    EXPECT_EQ(extracted.size(), expected.size());
    ASSERT_TRUE(extracted == expected) << "the extracted stream differs from the frames the bursts carry";

    // ffmpeg decodes it as it decodes the encoder's stream (once per codec:
    // the bytes are the same for every carrier).  The zero bytes behind odd
    // frames cost one frame: ffmpeg's MPEG demuxer resyncs on the frame
    // after the first, or its decoder refuses one frame.
    if (std::string(carrier.name) != "wave")
        return;
    const auto decode = [&](const std::string& path) {
        return run_command({"ffmpeg", "-v", "error", "-f", codec.demuxer, "-i", path, "-f", "s16le", "-"});
    };
    const auto original = decode(f.stream);
    const auto decoded = decode(output);
    EXPECT_EQ(decoded.status, 0);
    if (odd) {
        EXPECT_GE(decoded.out.size() + 1152 * 4, original.out.size());
    } else {
        EXPECT_EQ(decoded.err, "");
        // The same samples, up to the units ffmpeg held back.
        EXPECT_TRUE(decoded.out == original.out.substr(0, original.out.size() / sizes.size() * kept));
    }
}

INSTANTIATE_TEST_SUITE_P(peers, burstpick_carried_stream, testing::Combine(testing::ValuesIn(codecs), testing::ValuesIn(carriers)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_in_" +
                                    std::get<1>(info.param).name;
                         });

class burstpick_verbose_stream : public testing::TestWithParam<codec_case> {};

TEST_P(burstpick_verbose_stream, report_has_a_line_per_burst)
{
    const codec_case& codec = GetParam();
    REQUIRE_PEER("ffmpeg");
    REQUIRE_PEER("ffprobe");
    REQUIRE_PEER(codec.peer);
    const fixture f = make_fixture(codec);
    ASSERT_FALSE(f.stream.empty());
    // From standard input, through a pipe.
    const auto r = run_shell("cat '" + f.carrier + "' | burstpick -v -u -E /dev/null -o /dev/null");
    ASSERT_EQ(r.status, 0) << r.err;
    size_t reports = 0;
    for (size_t at = 0; (at = r.out.find("sync at pos: ", at)) != std::string::npos; ++at)
        ++reports;
    EXPECT_EQ(reports * codec.per_burst, frames_sent(codec, f.carrier, packet_sizes(f.stream).size()));
    EXPECT_NE(r.out.find("type: " + std::to_string(codec.data_type) + " nr: 0 bytes: "), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(peers, burstpick_verbose_stream, testing::ValuesIn(codecs),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
