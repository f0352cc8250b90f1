// framesnip against streams made by real encoders: the frames it finds must
// be the packets ffprobe reports, and its cuts must decode.
#include "run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct packet {
    long pos = 0;
    long size = 0;
    bool operator==(const packet&) const = default;
};

std::ostream& operator<<(std::ostream& out, const packet& p) { return out << p.pos << "+" << p.size; }

std::vector<packet> framesnip_frames(const std::string& file)
{
    const run_result r = run_tool("framesnip", {"-l", "-i", file, "-o", "/dev/null"});
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<packet> frames;
    std::istringstream lines(r.out);
    std::string text;
    while (std::getline(lines, text)) {
        long number = 0;
        packet p;
        if (std::sscanf(text.c_str(), "start of frame: %ld at pos: %ld len: %ld", &number, &p.pos, &p.size) == 3) {
            EXPECT_EQ(number, static_cast<long>(frames.size()));
            frames.push_back(p);
        } else if (text.rfind("Frames:", 0) != 0 && text.rfind("MPEG bitstream:", 0) != 0) {
            ADD_FAILURE() << "unexpected line: " << text;
        }
    }
    return frames;
}

std::vector<packet> ffprobe_packets(const std::string& file)
{
    const run_result r =
        run_command({"ffprobe", "-v", "error", "-show_entries", "packet=pos,size", "-of", "default=nw=1", file});
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<packet> packets;
    std::istringstream lines(r.out);
    std::string text;
    packet p;
    while (std::getline(lines, text)) {
        if (text.rfind("size=", 0) == 0)
            p.size = std::stol(text.substr(5));
        if (text.rfind("pos=", 0) == 0) {
            p.pos = std::stol(text.substr(4));
            packets.push_back(p);
        }
    }
    return packets;
}

struct peer_case {
    const char* name;
    const char* encoder;          // the peer that must be installed
    const char* wav;              // tone file the encoder reads: "44100", "22050", "24000"
    std::vector<std::string> command;  // "IN" and "OUT" are replaced by the paths
    int info_frames;              // frames before ffprobe's first packet (lame's info frame)
};

class framesnip_peers : public testing::TestWithParam<peer_case> {
protected:
    static void SetUpTestSuite()
    {
        dir = new temp_dir;
    }
    // Two seconds of a stereo 440 Hz tone at the rate, made once.
    static std::string tone(const std::string& rate)
    {
        const std::string wav = dir->file("tone" + rate + ".wav");
        if (read_file(wav).empty()) {
            const run_result r = run_command({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                                              "sine=frequency=440:duration=2:sample_rate=" + rate, "-ac", "2", wav});
            EXPECT_EQ(r.status, 0) << r.err;
        }
        return wav;
    }
    static void TearDownTestSuite()
    {
        delete dir;
        dir = nullptr;
    }
    static temp_dir* dir;
};

temp_dir* framesnip_peers::dir = nullptr;

TEST_P(framesnip_peers, frames_match_ffprobe_packets_and_cuts_decode)
{
    const peer_case& c = GetParam();
    REQUIRE_PEER("ffmpeg");
    REQUIRE_PEER("ffprobe");
    REQUIRE_PEER(c.encoder);
    const std::string stream = dir->file(std::string(c.name) + ".mpa");
    std::vector<std::string> command;
    for (const std::string& part : c.command)
        command.push_back(part == "IN" ? tone(c.wav) : part == "OUT" ? stream : part);
    const run_result made = run_command(command);
    ASSERT_EQ(made.status, 0) << made.err;

    const std::vector<packet> frames = framesnip_frames(stream);
    const std::vector<packet> packets = ffprobe_packets(stream);
    ASSERT_GT(packets.size(), 20u);
    ASSERT_EQ(frames.size(), packets.size() + static_cast<size_t>(c.info_frames));
    for (size_t i = 0; i < packets.size(); ++i)
        ASSERT_EQ(frames[i + static_cast<size_t>(c.info_frames)], packets[i]) << "packet " << i;

    // The whole stream is frames only: a cut of everything gives it back.
    const std::string input = read_file(stream);
    EXPECT_EQ(run_tool("framesnip", {"-i", stream, "-o", dir->file("whole.mpa")}).status, 0);
    EXPECT_TRUE(read_file(dir->file("whole.mpa")) == input);

    // Frames b..e-1 are exactly those packets, and they decode.
    const int b = c.info_frames + 5, e = c.info_frames + 17;
    const std::string cut = dir->file("cut.mpa");
    const run_result r = run_tool("framesnip", {"-b", std::to_string(b), "-e", std::to_string(e), "-i", stream, "-o", cut});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string expected;
    for (int i = b; i < e; ++i) {
        const packet& p = packets[static_cast<size_t>(i - c.info_frames)];
        expected += input.substr(static_cast<size_t>(p.pos), static_cast<size_t>(p.size));
    }
    EXPECT_TRUE(read_file(cut) == expected);
    const run_result decoded = run_command({"ffmpeg", "-v", "error", "-i", cut, "-f", "null", "-"});
    EXPECT_EQ(decoded.status, 0);
    EXPECT_EQ(decoded.err, "");
    if (have_program("mpg123")) {
        const run_result tested = run_command({"mpg123", "-q", "-t", cut});
        EXPECT_EQ(tested.status, 0) << tested.err;
    }
}

INSTANTIATE_TEST_SUITE_P(
    encoders, framesnip_peers,
    testing::Values(
        peer_case{"twolame_layer2", "twolame", "44100", {"twolame", "--quiet", "-b", "192", "IN", "OUT"}, 0},
        peer_case{"twolame_lsf_layer2", "twolame", "24000", {"twolame", "--quiet", "-b", "64", "IN", "OUT"}, 0},
        peer_case{"ffmpeg_mp2",
                  "ffmpeg",
                  "44100",
                  {"ffmpeg", "-v", "error", "-y", "-i", "IN", "-c:a", "mp2", "-b:a", "160k", "-f", "mp2", "OUT"},
                  0},
        peer_case{"lame_cbr", "lame", "44100", {"lame", "--quiet", "-t", "-b", "128", "IN", "OUT"}, 0},
        peer_case{"lame_cbr_info_frame", "lame", "44100", {"lame", "--quiet", "-b", "128", "IN", "OUT"}, 1},
        peer_case{"lame_vbr", "lame", "44100", {"lame", "--quiet", "-V", "2", "IN", "OUT"}, 1},
        peer_case{"lame_lsf_22050", "lame", "22050", {"lame", "--quiet", "-t", "-b", "64", "IN", "OUT"}, 0},
        peer_case{"lame_lsf_24000", "lame", "24000", {"lame", "--quiet", "-t", "-b", "56", "IN", "OUT"}, 0},
        peer_case{"lame_lsf_vbr_22050", "lame", "22050", {"lame", "--quiet", "-V", "4", "IN", "OUT"}, 1}),
    [](const testing::TestParamInfo<peer_case>& info) { return std::string(info.param.name); });

}  // namespace
