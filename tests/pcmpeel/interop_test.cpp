// pcmpeel on files that sox made: the same bytes as sox's own raw output.
#include "run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct sox_file {
    const char* name;  // the suffix tells sox the format
    int bits;
    const char* encoding;
};

const sox_file files[] = {
    {"s8.wav", 8, "unsigned-integer"},  {"s16.wav", 16, "signed-integer"},  {"s24.wav", 24, "signed-integer"},
    {"s32.wav", 32, "signed-integer"},  {"s8.aiff", 8, "signed-integer"},   {"s16.aiff", 16, "signed-integer"},
    {"s24.aiff", 24, "signed-integer"}, {"s32.aiff", 32, "signed-integer"}, {"s8.aifc", 8, "signed-integer"},
    {"s16.aifc", 16, "signed-integer"}, {"s24.aifc", 24, "signed-integer"}, {"s32.aifc", 32, "signed-integer"},
    {"s8.au", 8, "signed-integer"},     {"s16.au", 16, "signed-integer"},   {"s24.au", 24, "signed-integer"},
    {"s32.au", 32, "signed-integer"},   {"s16c3.wav", 16, "signed-integer"},
};

TEST(pcmpeel_interop, gives_the_bytes_sox_gives)
{
    REQUIRE_PEER("sox");
    temp_dir dir;
    for (const sox_file& f : files) {
        SCOPED_TRACE(f.name);
        const std::string path = dir.file(f.name);
        const std::string channels = std::string(f.name).find("c3") != std::string::npos ? "3" : "2";
        const run_result made = run_command({"sox", "-n", "-r", "8000", "-c", channels, "-b", std::to_string(f.bits), "-e",
                                             f.encoding, path, "synth", "0.05", "sine", "300", "sine", "500", "sine", "700"});
        ASSERT_EQ(made.status, 0) << made.err;
        const std::string width = std::to_string(f.bits / 8);
        const std::string raw_type = f.bits == 8 ? "s8" : f.bits == 16 ? "s16" : f.bits == 24 ? "s24" : "s32";
        const run_result sox = run_command({"sox", path, "-t", raw_type, "-"});
        ASSERT_EQ(sox.status, 0) << sox.err;
        const run_result ours = run_tool("pcmpeel", {"-b", width, path});
        EXPECT_EQ(ours.status, 0);
        EXPECT_EQ(ours.err, "");
        EXPECT_TRUE(ours.out == sox.out) << ours.out.size() << " bytes, sox " << sox.out.size();
        const run_result piped = run_tool("pcmpeel", {"-b", width}, read_file(path));
        EXPECT_TRUE(piped.out == sox.out) << "from standard input: " << piped.out.size() << " bytes";
        if (f.bits == 16) {
            // A slice, as sox trims it.
            const run_result trimmed = run_command({"sox", path, "-t", "s16", "-", "trim", "100s", "50s"});
            const run_result range = run_tool("pcmpeel", {"-f", "100", "-t", "150", path});
            EXPECT_TRUE(range.out == trimmed.out) << range.out.size() << " bytes, sox " << trimmed.out.size();
        }
    }
}

// Python's readers, as raw little-endian signed samples of the file's own
// width (what pcmpeel -b width writes).
const char* python_decode = R"(
import sys, warnings
warnings.simplefilter('ignore')
import aifc, sunau, wave
kind, path = sys.argv[1], sys.argv[2]
f = {'wave': wave, 'aifc': aifc, 'sunau': sunau}[kind].open(path, 'rb')
w = f.getsampwidth()
data = f.readframes(f.getnframes())
if kind == 'wave':
    data = bytes((b - 128) & 255 for b in data) if w == 1 else data
else:
    data = b''.join(data[i:i + w][::-1] for i in range(0, len(data), w))
sys.stdout.buffer.write(data)
sys.stderr.write(str(w))
)";

// Writes in.<suffix> as a program other than ours does, with something
// after the samples.
const char* python_write = R"(
import sys, warnings, struct
warnings.simplefilter('ignore')
import aifc, sunau, wave
kind, path, extra = sys.argv[1], sys.argv[2], sys.argv[3]
frames = bytes((i * 37) & 255 for i in range(2 * 2 * 301))
if kind == 'wave':
    f = wave.open(path, 'wb'); f.setnchannels(2); f.setsampwidth(2); f.setframerate(8000); f.writeframes(frames); f.close()
    tag = b'INFOISFT\x06\x00\x00\x00tagger' if extra == 'LIST' else b'ID3\x03\x00\x00\x00\x00\x00\x00'
    chunk = extra.encode().ljust(4) + struct.pack('<I', len(tag)) + tag
    data = open(path, 'rb').read() + chunk
    open(path, 'wb').write(data[:4] + struct.pack('<I', len(data) - 8) + data[8:])
elif kind == 'sunau':
    f = sunau.open(path, 'wb'); f.setcomptype('NONE', 'not compressed'); f.setnchannels(2); f.setsampwidth(2)
    f.setframerate(8000); f.writeframes(frames); f.close()
    open(path, 'ab').write(b'trailing bytes')
else:
    f = aifc.open(path, 'wb')
    f.aiff() if kind == 'aiff' else f.aifc()
    f.setnchannels(2); f.setsampwidth(2); f.setframerate(8000); f.writeframes(frames)
    f.setmark(1, 100, b'cue'); f.close()
)";

struct tagged_case {
    const char* name;
    const char* decoder;  // Python module that reads it
    std::string make;     // shell command that writes in.file
};

class after_the_data : public testing::TestWithParam<tagged_case> {};

// Chunks, tags and pad bytes after the samples are no frames: pcmpeel from
// the named file and from standard input, and sonomorph's copy, give exactly
// the frames Python's readers give.
TEST_P(after_the_data, frames_are_those_python_reads)
{
    const tagged_case& c = GetParam();
    REQUIRE_PEER("python3");
    if (c.make.find("ffmpeg") != std::string::npos)
        REQUIRE_PEER("ffmpeg");
    if (c.make.find("sox") != std::string::npos)
        REQUIRE_PEER("sox");
    temp_dir dir;
    write_file(dir.file("write.py"), python_write);
    write_file(dir.file("decode.py"), python_decode);
    const run_result made = run_shell("cd '" + dir.path + "' && " + c.make);
    ASSERT_EQ(made.status, 0) << made.err;
    const std::string in = dir.file("in.file");
    const run_result python = run_command({"python3", dir.file("decode.py"), c.decoder, in});
    ASSERT_EQ(python.status, 0) << python.err;
    ASSERT_FALSE(python.out.empty());
    const std::string width = python.err;

    const run_result named = run_tool("pcmpeel", {"-b", width, in});
    EXPECT_EQ(named.status, 0) << named.err;
    EXPECT_TRUE(named.out == python.out) << named.out.size() << " bytes, Python " << python.out.size();
    const run_result piped = run_tool("pcmpeel", {"-b", width}, read_file(in));
    EXPECT_TRUE(piped.out == python.out) << "from standard input: " << piped.out.size() << " bytes";

    const std::string wave_type = width == "1" ? "wave_8" : width == "2" ? "wave_16" : width == "3" ? "wave_24" : "wave_32";
    const run_result copy = run_tool("sonomorph", {"-t", wave_type, "-o", dir.file("copy.wav"), in});
    ASSERT_EQ(copy.status, 0) << copy.err;
    const run_result back = run_command({"python3", dir.file("decode.py"), "wave", dir.file("copy.wav")});
    EXPECT_TRUE(back.out == python.out) << "sonomorph's copy: " << back.out.size() << " bytes";
}

INSTANTIATE_TEST_SUITE_P(
    peers, after_the_data,
    testing::Values(
        tagged_case{"wave_list_after_data", "wave", "python3 write.py wave in.file LIST"},
        tagged_case{"wave_id3_after_data", "wave", "python3 write.py wave in.file 'id3 '"},
        tagged_case{"sox_wave_odd_length_pad", "wave", "sox -n -r 8000 -c 1 -b 8 -t wav in.file synth 101s sine 440"},
        tagged_case{"ffmpeg_aiff_id3_after_ssnd", "aifc",
                    "ffmpeg -v error -f lavfi -i sine=frequency=440:sample_rate=8000:duration=0.05 -metadata title=Take "
                    "-write_id3v2 1 -f aiff in.file"},
        tagged_case{"python_aiff_mark_after_ssnd", "aifc", "python3 write.py aiff in.file -"},
        tagged_case{"python_aifc_mark_after_ssnd", "aifc", "python3 write.py aifc in.file -"},
        tagged_case{"python_sun_trailing_bytes", "sunau", "python3 write.py sunau in.file -"}),
    [](const testing::TestParamInfo<tagged_case>& info) { return std::string(info.param.name); });

// Float samples of -1.0 to 1.0 keep their integer values: -1, 0 and 1.
TEST(pcmpeel_interop, float_samples_give_their_integer_values)
{
    REQUIRE_PEER("sox");
    temp_dir dir;
    const std::string path = dir.file("f.au");
    const run_result made = run_command({"sox", "-n", "-r", "8000", "-c", "1", "-b", "32", "-e", "floating-point", path,
                                         "synth", "0.05", "sine", "300"});
    ASSERT_EQ(made.status, 0) << made.err;
    const run_result r = run_tool("pcmpeel", {path});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.out.size(), 800u);
    std::vector<int> seen(3, 0);
    for (size_t i = 0; i < r.out.size(); i += 2) {
        const auto v = static_cast<int16_t>(static_cast<unsigned char>(r.out[i]) | static_cast<unsigned char>(r.out[i + 1]) << 8);
        ASSERT_TRUE(v >= -1 && v <= 1) << v;
        ++seen[static_cast<size_t>(v + 1)];
    }
    EXPECT_GT(seen[0], 0);
    EXPECT_GT(seen[1], 0);
    EXPECT_GT(seen[2], 0);
}

}  // namespace
