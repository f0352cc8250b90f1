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
        run_command({"ffprobe", "-v", "error", "-select_streams", "a", "-show_entries", "packet=pos,size", "-of",
                     "default=nw=1", file});
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
    std::vector<std::string> command;  // "IN", "OUT" and "COVER" (a JPEG) are replaced by the paths
    int info_frames;              // frames before ffprobe's first packet (lame's info frame)
    bool tagged = false;          // ID3 tags around the frames
    bool wrap_in_tags = false;    // the tags of an MP3 that ffmpeg tagged are put around the stream
    std::vector<std::vector<std::string>> taggers{};  // run in turn on the stream ("OUT"),
    int copies = 1;                                   // which is then joined to itself with cat
    bool end_found = false;       // tags found from the end of a file only: stray bytes on a pipe
};

void PrintTo(const peer_case& c, std::ostream* os) { *os << c.name; }

// ffmpeg's MP3 with an ID3v2 tag of the version (text and the cover) and an
// ID3v1 tag, without the Xing frame that ffprobe does not list.
std::vector<std::string> ffmpeg_tagged(const char* bitrate, const char* version)
{
    return {"ffmpeg", "-v", "error", "-y", "-i", "IN", "-i", "COVER", "-map", "0:a", "-map", "1:v", "-c:a",
            "libmp3lame", "-b:a", bitrate, "-c:v", "copy", "-disposition:v", "attached_pic", "-id3v2_version", version,
            "-write_xing", "0", "-write_id3v1", "1", "-metadata", "title=Gr\xC3\xBC\xC3\x9F""e", "-f", "mp3", "OUT"};
}

// mutagen writes an APE tag with a header and a footer, which "footer" turns
// into one with a footer only, and "lyrics" into a Lyrics3v2 block.
constexpr const char* TAGGER = R"py(
import sys, mutagen.apev2 as a
t = a.APEv2(); t["Title"] = "Gr\u00fc\u00dfe"
t["Cover Art (Front)"] = a.APEValue(b"c.jpg\0" + open(sys.argv[2], "rb").read() + b"\xff\xfb\x90\x64", a.BINARY)
t.save(sys.argv[1]); d = bytearray(open(sys.argv[1], "rb").read()); h = d.find(b"APETAGEX")
if sys.argv[3] == "footer": del d[h:h + 32]; d[-9] &= 0x7F
l = b"LYRICSBEGININD0000210LYR00010\xff\xfb\x90\x64 la la"
if sys.argv[3] == "lyrics": d[h:] = l + b"%06dLYRICS200" % len(l)
open(sys.argv[1], "wb").write(d)
)py";const char* const PYTHON = "/usr/bin/python3";  // the one with mutagen
const std::vector<std::string> V1{"eyeD3", "-Q", "--v1", "-t", "Title", "OUT"};

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
    // A small JPEG cover, made once.
    static std::string cover()
    {
        const std::string jpeg = dir->file("cover.jpg");
        if (read_file(jpeg).empty()) {
            const run_result r = run_command({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                                              "testsrc=size=32x32:duration=1", "-frames:v", "1", jpeg});
            EXPECT_EQ(r.status, 0) << r.err;
        }
        return jpeg;
    }
    // Runs an encoder command on the tone at the rate.
    static run_result make(const std::vector<std::string>& command, const std::string& rate, const std::string& out)
    {
        std::vector<std::string> argv;
        for (const std::string& part : command)
            argv.push_back(part == "IN"    ? tone(rate)
                           : part == "OUT" ? out
                                           : part.rfind("COVER", 0) == 0 ? cover() + part.substr(5) : part);
        return run_command(argv);
    }
    // The stream between the ID3v2 tag and the ID3v1 tag of an MP3 that
    // ffmpeg tagged with a cover (layer 2 cannot go into ffmpeg's MP3 muxer).
    static std::string wrap_in_tags(const std::string& stream)
    {
        const std::string donor = dir->file("donor.mp3");
        const run_result r = make(ffmpeg_tagged("32k", "4"), "22050", donor);
        EXPECT_EQ(r.status, 0) << r.err;
        const std::string bytes = read_file(donor);
        if (bytes.size() < 266)
            return stream;
        const size_t tag = 10 + (size_t{static_cast<unsigned char>(bytes[6])} << 21 |
                                 size_t{static_cast<unsigned char>(bytes[7])} << 14 |
                                 size_t{static_cast<unsigned char>(bytes[8])} << 7 | static_cast<unsigned char>(bytes[9]));
        return bytes.substr(0, tag) + stream + bytes.substr(bytes.size() - 128);
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
    const run_result made = make(c.command, c.wav, stream);
    ASSERT_EQ(made.status, 0) << made.err;
    if (c.wrap_in_tags)
        write_file(stream, wrap_in_tags(read_file(stream)));
    std::vector<packet> packets = ffprobe_packets(stream);
    // Tagged by the peers: the frames are the untagged stream's, where its
    // bytes stand in each copy.
    const std::string untagged = read_file(stream);
    if (!c.taggers.empty()) {
        for (const std::vector<std::string>& tagger : c.taggers) {
            REQUIRE_PEER(tagger[0] == PYTHON ? "mid3v2" : tagger[0]);  // mutagen's own program
            ASSERT_EQ(make(tagger, c.wav, stream).status, 0);
        }
        const std::string copy = read_file(stream);
        std::string joined, plain;
        std::vector<packet> shifted;
        for (int i = 0; i < c.copies; ++i, joined += copy, plain += untagged)
            for (const packet& p : packets)
                shifted.push_back({p.pos + static_cast<long>(joined.size() + copy.find(untagged)), p.size});
        packets = shifted;
        write_file(stream, joined);
        write_file(dir->file("untagged.mpa"), plain);
    }
    const std::string input = read_file(stream);
    ASSERT_TRUE(!c.taggers.empty() ||
                (input.rfind("ID3", 0) == 0 && input.substr(input.size() - 128, 3) == "TAG") == c.tagged);

    const std::vector<packet> frames = framesnip_frames(stream);
    ASSERT_GT(packets.size(), 20u);
    ASSERT_EQ(frames.size(), packets.size() + static_cast<size_t>(c.info_frames));
    for (size_t i = 0; i < packets.size(); ++i)
        ASSERT_EQ(frames[i + static_cast<size_t>(c.info_frames)], packets[i]) << "packet " << i;

    // A cut of everything is the whole stream, or without tags the frames
    // ffmpeg copies; from standard input the same.
    EXPECT_EQ(run_tool("framesnip", {"-i", stream, "-o", dir->file("whole.mpa")}).status, 0);
    std::string frames_only;
    for (const packet& p : packets)
        frames_only += input.substr(static_cast<size_t>(p.pos), static_cast<size_t>(p.size));
    EXPECT_TRUE(read_file(dir->file("whole.mpa")) == (c.tagged ? frames_only : input));
    if (!c.taggers.empty() && have_program("mpg123")) {
        EXPECT_TRUE(run_command({"mpg123", "-q", "-s", dir->file("whole.mpa")}).out ==
                    run_command({"mpg123", "-q", "-s", dir->file("untagged.mpa")}).out);
    }
    const run_result piped = run_shell("cat '" + stream + "' | framesnip -l -o /dev/null");
    EXPECT_TRUE(c.end_found || piped.status == 0);
    EXPECT_TRUE(c.end_found || piped.out == run_tool("framesnip", {"-l", "-i", stream, "-o", "/dev/null"}).out);

    // Frames b..e-1 are exactly those packets, and they decode.
    const int b = c.info_frames + 10, e = c.info_frames + 20;
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
        peer_case{"lame_lsf_vbr_22050", "lame", "22050", {"lame", "--quiet", "-V", "4", "IN", "OUT"}, 1},
        // Tags: UTF-16 text begins FF FE, and the JPEG cover holds FF Dx
        // and FF Ex; lame also writes an ID3v1 tag at the end.
        peer_case{"lame_id3_cover",
                  "lame",
                  "44100",
                  {"lame", "--quiet", "-t", "-b", "128", "--add-id3v2", "--tv", "TIT2=Gr\xC3\xBC\xC3\x9F""e \xE2\x99\xAA",
                   "--ta", "Mot\xC3\xB6rhead", "--ti", "COVER", "IN", "OUT"},
                  0,
                  true},
        peer_case{"lame_lsf_id3", "lame", "22050",
                  {"lame", "--quiet", "-t", "-b", "64", "--add-id3v2", "--ta", "Mot\xC3\xB6rhead", "IN", "OUT"}, 0, true},
        peer_case{"ffmpeg_id3v2_3_cover", "ffmpeg", "44100", ffmpeg_tagged("128k", "3"), 0, true},
        peer_case{"ffmpeg_id3v2_4_cover", "ffmpeg", "24000", ffmpeg_tagged("64k", "4"), 0, true},
        peer_case{"twolame_layer2_in_tags", "twolame", "44100", {"twolame", "--quiet", "-b", "192", "IN", "OUT"}, 0, true,
                  true},
        peer_case{"lame_mpeg2_5_8000", "lame", "8000", {"lame", "--quiet", "-V", "6", "IN", "OUT"}, 1},
        // APE tags hold a cover with a marker that passes for a frame.
        peer_case{"apev2_behind_id3v1", "lame", "44100", {"lame", "--quiet", "-t", "-b", "128", "IN", "OUT"}, 0, true,
                  false, {{"id3v2", "-t", "Title", "OUT"}, {PYTHON, "-c", TAGGER, "OUT", "COVER", "ape"}}},
        peer_case{"apev2_footer_only_id3v1", "twolame", "44100", {"twolame", "--quiet", "-b", "192", "IN", "OUT"}, 0,
                  true, false, {{PYTHON, "-c", TAGGER, "OUT", "COVER", "footer"}, V1}, 1, true},
        peer_case{"lyrics3v2_id3v1", "ffmpeg", "44100",
                  {"ffmpeg", "-v", "error", "-y", "-i", "IN", "-c:a", "mp2", "-b:a", "160k", "-f", "mp2", "OUT"}, 0,
                  true, false, {{PYTHON, "-c", TAGGER, "OUT", "COVER", "lyrics"}, V1}, 1, true},
        peer_case{"eyed3_files_joined", "lame", "22050", {"lame", "--quiet", "-t", "-b", "64", "IN", "OUT"}, 0, true,
                  false, {{"eyeD3", "-Q", "--encoding", "utf16", "-t", "Gr\xC3\xBC\xC3\x9F""e", "--add-image",
                           "COVER:FRONT_COVER", "OUT"}, V1}, 2}),
    [](const testing::TestParamInfo<peer_case>& info) { return std::string(info.param.name); });

}  // namespace
