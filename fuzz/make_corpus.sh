#!/usr/bin/env bash
# Rebuilds the seed corpora in fuzz/corpus/<target>/ from scratch: small
# files made by the peers (sox, ffmpeg, lame, twolame), by our own tonesmith
# for the SPW and ILS families, and synthetic inputs of the kinds the test
# suite builds (extension frames with their CRC, MPEG-2 extension bursts,
# truncated and padded streams, command lines).  Each seed is a few hundred
# bytes to a few KiB, so that the fuzzers mutate them quickly.
#
#   fuzz/make_corpus.sh BIN     BIN: a bin folder holding tonesmith
#
# The seeds are committed; run this only to change them.
set -euo pipefail
BIN=${1:?usage: fuzz/make_corpus.sh BIN}
BIN=$(cd "$BIN" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
CORPUS=$HERE/corpus
for tool in sox ffmpeg lame twolame python3; do
    command -v "$tool" >/dev/null || { echo "make_corpus: $tool is missing" >&2; exit 1; }
done
[ -x "$BIN/tonesmith" ] || { echo "make_corpus: no tonesmith in $BIN" >&2; exit 1; }

SCRATCH=$(mktemp -d)
trap 'rm -rf "$SCRATCH"' EXIT
cd "$SCRATCH"
rm -rf "$CORPUS"
mkdir -p "$CORPUS"/{audio_fd,audio_stream,options,framesnip_cut,chunksnip_cut,burst_scan,extension_split}
FF="ffmpeg -v error -y -nostdin"

# ---- audio files: every family and precision, a few dozen frames each -------
A=$CORPUS/audio_fd
synth="synth 0.005 sine 440"
for bits in 8 16 24 32; do
    sox -n -r 8000 -c 2 -b $bits "$A/sox_$bits.wav" $synth
    sox -n -r 8000 -c 2 -b $bits "$A/sox_$bits.aiff" $synth
    sox -n -r 8000 -c 1 -b $bits -e signed-integer "$A/sox_$bits.au" $synth
done
sox -n -r 8000 -c 2 -b 16 -t aifc "$A/sox_16.aifc" $synth
sox -n -r 8000 -c 1 -b 32 -e floating-point "$A/sox_float.au" $synth
sox -n -r 8000 -c 1 -b 64 -e floating-point "$A/sox_double.au" $synth
sox -n -r 8000 -c 1 -b 32 -e floating-point "$A/sox_float.wav" $synth   # not PCM: refused
sox -n -r 8000 -c 1 -e mu-law "$A/sox_mulaw.au" $synth                   # no codec: refused
sox -n -r 8000 -c 3 -b 24 "$A/sox_extensible.wav" synth 0.002 sine 440
sox -n -r 8000 -c 1 -b 16 --comment "seed comment" "$A/sox_comment.aiff" $synth
$FF -f lavfi -i "sine=r=8000:d=0.005" -c:a pcm_s16le "$A/ffmpeg_list.wav"
$FF -f lavfi -i "sine=r=8000:d=0.005" -f au "$A/ffmpeg.au"
$FF -f lavfi -i "sine=r=8000:d=0.005" -f aiff "$A/ffmpeg.aiff"
$FF -f lavfi -i "sine=r=8000:d=0.005" -c:a pcm_s24be -f aiff "$A/ffmpeg_24.aiff"
# Something after the sample data (an ID3 chunk, sox's pad byte) and
# compressed AIFC, which is refused.
$FF -f lavfi -i "sine=r=8000:d=0.005" -metadata title=seed -write_id3v2 1 -f aiff "$A/ffmpeg_id3_after_ssnd.aiff"
$FF -f lavfi -i "sine=r=8000:d=0.005" -c:a pcm_s16le -f aiff "$A/ffmpeg_sowt.aifc"
$FF -f lavfi -i "sine=r=8000:d=0.005" -c:a pcm_mulaw -f aiff "$A/ffmpeg_ulaw.aifc"
sox -n -r 8000 -c 1 -b 32 -e floating-point "$A/sox_fl32.aifc" $synth
sox -n -r 8000 -c 1 -b 8 "$A/sox_odd_pad.wav" synth 41s sine 440
for type in spw spw_d ils ils_f ils_d sun_f sun_d; do
    "$BIN/tonesmith" -c 1 -f 8000 -n 24 -t $type "$A/tonesmith.$type" >/dev/null 2>&1
done
"$BIN/tonesmith" -c 3 -f 8000 -n 8 -t ils "$A/tonesmith_3ch.ils" >/dev/null 2>&1

python3 - "$A" <<'EOF'
import struct, sys, os
d = sys.argv[1]
def put(name, data):
    open(os.path.join(d, name), 'wb').write(data)
# ILS written big-endian: the marker then reads reversed.
ils = open(os.path.join(d, 'tonesmith.ils'), 'rb').read()
words = struct.unpack('<128i', ils[:512])
samples = ils[512:]
be = struct.pack('>128i', *words) + b''.join(samples[i+1:i+2] + samples[i:i+1] for i in range(0, len(samples) - 1, 2))
put('big_endian.ils', be)
# SPW with a comment, a long line, sections and an ASCII data section.
spw = (b"$SIGNAL_FILE 9\n$USER_COMMENT\nseed\n$COMMON_INFO\nSPW Version = 3.00\n"
       b"Sampling Frequency = 8000\n" + b"X" * 300 + b"\n$DATA_INFO\nNumber of points = 4\n"
       b"Signal Type = Fixedpoint\nFixed Point Format = <16,15,t>\n$DATA\n" + struct.pack('>4h', 1, -2, 300, -32768))
put('comment.spw', spw)
put('ascii.spw', b"$SIGNAL_FILE 9\n$DATA ASCII\n1 2 3\n")
# WAVE with the samples beyond a chunk of odd size and no data size.
fmt = struct.pack('<HHIIHH', 1, 1, 8000, 16000, 2, 16)
wav = b'RIFF' + struct.pack('<I', 0) + b'WAVE' + b'fmt ' + struct.pack('<I', 16) + fmt
wav += b'fact' + struct.pack('<I', 4) + b'\0\0\0\0' + b'data' + struct.pack('<I', 0) + struct.pack('<8h', *range(8))
put('zero_size.wav', wav)
# AIFF with an odd chunk and its pad byte before SSND, and a SUN header
# with an annotation.
comm = struct.pack('>hIh', 1, 4, 16) + bytes.fromhex('400BFA00000000000000')
body = b'AIFF' + b'COMM' + struct.pack('>I', 18) + comm + b'APPL' + struct.pack('>I', 3) + b'abc\0'
body += b'SSND' + struct.pack('>III', 16, 0, 0) + struct.pack('>4h', 1, 2, 3, 4)
put('odd_chunk.aiff', b'FORM' + struct.pack('>I', len(body)) + body)
sun = b'.snd' + struct.pack('>IIIII', 32, 8, 3, 8000, 1) + b'annotate' + struct.pack('>4h', 1, 2, 3, 4)
put('annotation.au', sun)
# Chunks after the data that taggers and Python's aifc write: a LIST chunk
# behind a WAVE data chunk, a MARK chunk behind SSND, and a SUN file with
# bytes after the size it states.
wav = b'WAVE' + b'fmt ' + struct.pack('<I', 16) + fmt + b'data' + struct.pack('<I', 8) + struct.pack('<4h', 1, 2, 3, 4)
wav += b'LIST' + struct.pack('<I', 14) + b'INFOISFT' + struct.pack('<I', 6) + b'tagger'
put('list_after_data.wav', b'RIFF' + struct.pack('<I', len(wav)) + wav)
body = b'AIFF' + b'COMM' + struct.pack('>I', 18) + comm + b'SSND' + struct.pack('>III', 16, 0, 0)
body += struct.pack('>4h', 1, 2, 3, 4) + b'MARK' + struct.pack('>IHHI', 10, 1, 1, 2) + b'\x03cue'
put('mark_after_ssnd.aiff', b'FORM' + struct.pack('>I', len(body)) + body)
put('trailing.au', b'.snd' + struct.pack('>IIIII', 24, 4, 3, 8000, 1) + struct.pack('>4h', 1, 2, 3, 4))
# Chunks of other programs before the samples, odd ones with and without
# their pad byte, and widths stored in wider containers: 12-bit WAVE, 20-bit
# AIFF with an ID3 chunk before COMM.
fmt12 = struct.pack('<HHIIHH', 1, 2, 8000, 32000, 4, 12)
wav = b'WAVE' + b'bext' + struct.pack('<I', 3) + b'abc\0' + b'fmt ' + struct.pack('<I', 16) + fmt12
wav += b'PAD ' + struct.pack('<I', 5) + b'\0' * 5 + b'data' + struct.pack('<I', 8) + struct.pack('<4h', 16, -16, 32, -32)
put('chunks_before_data_12_bit.wav', b'RIFF' + struct.pack('<I', len(wav)) + wav)
comm20 = struct.pack('>hIh', 1, 2, 20) + bytes.fromhex('400BFA00000000000000')
body = b'AIFF' + b'ID3 ' + struct.pack('>I', 5) + b'ID3\x04\0\0' + b'COMM' + struct.pack('>I', 18) + comm20
body += b'minf' + struct.pack('>I', 2) + b'\0\0' + b'SSND' + struct.pack('>III', 14, 0, 0) + b'\x12\x34\x50\xfe\xdc\xb0'
put('chunks_before_comm_20_bit.aiff', b'FORM' + struct.pack('>I', len(body)) + body)
EOF
cp "$A"/* "$CORPUS/audio_stream/"

# ---- MPEG audio streams for framesnip ------------------------------------------
# Settings bytes in front (see fuzz/cut_common.h): the defaults, every
# switch with -b 1 -e 3, and the stream behind a megabyte of good frames so
# that it straddles the reader's first refill.
sox -n -r 48000 -c 1 -b 16 tone48.wav synth 0.07 sine 440
sox -n -r 32000 -c 1 -b 16 tone32.wav synth 0.14 sine 440
sox -n -r 16000 -c 1 -b 16 tone16.wav synth 0.2 sine 440
sox -n -r 8000 -c 1 -b 16 tone8.wav synth 0.4 sine 440
twolame --quiet -b 64 tone48.wav twolame_l2.mp2
lame --quiet -b 32 tone32.wav lame_mpeg1_l3.mp3
lame --quiet -b 16 tone16.wav lame_mpeg2_l3.mp3
lame --quiet -b 8 tone8.wav lame_mpeg25_l3.mp3
$FF -i tone16.wav -ar 24000 -c:a mp2 -b:a 32k ffmpeg_lsf_l2.mp2 2>/dev/null ||
    $FF -i tone48.wav -ar 24000 -c:a mp2 -b:a 32k -f mp2 ffmpeg_lsf_l2.mp2
# ID3 tags around the frames: UTF-16 text and a tiny JPEG cover hold bytes
# that pass for a sync; lame ends the file with an ID3v1 tag.
$FF -f lavfi -i "color=c=red:s=8x8:d=1" -frames:v 1 cover.jpg
lame --quiet -b 32 --add-id3v2 --tv "TIT2=Gr$(printf '\303\274')" --ti cover.jpg tone32.wav tagged.id3
python3 - "$CORPUS/framesnip_cut" <<'EOF'
import sys, os, glob
d = sys.argv[1]
def put(name, data):
    # (-v with the straddle: the filler's sampling frequency differs.)
    for prefix, tag in ((b'\x00\x00\xf0', ''), (b'\x1f\x01\x03', '_switches'), (b'\xb4\x00\xf0\x08', '_straddle')):
        open(os.path.join(d, name + tag), 'wb').write(prefix + data)
for f in sorted(glob.glob('*.mp2') + glob.glob('*.mp3')):
    put(os.path.splitext(f)[0], open(f, 'rb').read()[:2400])
# A tagged file is kept whole, so that its ID3v1 tag ends it.
put('lame_id3_cover', open('tagged.id3', 'rb').read())
# Tags behind the frames (an APE tag with a header and one with a footer
# only, whose cover holds a sync, a Lyrics3v2 block, ID3v1 tags) and two
# tagged files joined, their tags between frames.
import struct
frames = open('lame_mpeg1_l3.mp3', 'rb').read()[:8 * 144]
cover = b'\xff\xd8\xff\xe0\x00\x10JFIF\x00\xff\xfb\x90\x64' + bytes(16) + b'\xff\xd9'
items = struct.pack('<II', len(cover), 2) + b'Cover Art (Front)\x00' + cover
def ape(header):
    part = lambda flags: b'APETAGEX' + struct.pack('<IIII', 2000, len(items) + 32, 1, flags) + bytes(8)
    return (part(0xA0000000) if header else b'') + items + part(0x80000000 if header else 0)
lyrics = b'LYRICSBEGININD0000200LYR00005la la'
id3v1 = b'TAG' + b'Title'.ljust(125, b'\x00')
put('ape_lyrics_id3v1', frames + ape(True) + lyrics + b'%06dLYRICS200' % len(lyrics) + id3v1)
put('ape_footer_id3v1', frames + ape(False) + id3v1)
put('tagged_joined', open('tagged.id3', 'rb').read() * 2)
# Layer I, MPEG-1 32 kbit/s 44.1 kHz: 32-byte frames; garbage between
# frames, a bad header and a frame cut short at the end.
frame = b'\xff\xff\x10\x00' + b'\x00' * 28
put('layer1', frame * 3 + b'\x12\x34' + frame + b'\xff\xf0\xf0\x00' + frame + frame[:10])
EOF

# ---- extension streams for chunksnip ---------------------------------------------
python3 - "$CORPUS/chunksnip_cut" <<'EOF'
import sys, os
d = sys.argv[1]
def crc(frame, count):
    reg = 0xFFFF
    for n in range(28, 28 + count):
        bit = frame[n // 8] >> (7 - n % 8) & 1
        top = reg & 0x8000 != 0
        reg = reg << 1 & 0xFFFF
        if top != (bit == 1):
            reg ^= 0x8005
    return reg
def ext_frame(field, ident, nbytes, fill, flip=0):
    f = bytearray([fill]) * nbytes
    f[0] = 0x7F
    f[3] = field >> 7 & 0x0F
    f[4] = (field & 0x7F) << 1 | ident
    covered = 5 if ident or field < 5 else field
    c = crc(f, min(8 * covered - 28, 128)) ^ flip
    f[1] = 0xF0 | c >> 12
    f[2] = c >> 4 & 0xFF
    f[3] = (c & 0xF) << 4 | f[3] & 0x0F
    return bytes(f)
def put(name, data):
    for prefix, tag in ((b'\x00\x00\xf0', ''), (b'\x0f\x01\x03', '_switches'), (b'\xa4\x00\xf0\x08', '_straddle')):
        open(os.path.join(d, name + tag), 'wb').write(prefix + data)
good = [ext_frame(24, 0, 24, 0x11 * k) for k in range(1, 5)]
put('good', b''.join(good))
put('bad_crc', good[0] + ext_frame(24, 0, 24, 0x22, flip=1) + good[2])
put('id_frame', good[0] + ext_frame(24, 1, 24, 0x33) + good[1])
put('short_length', good[0] + ext_frame(3, 0, 5, 0x44) + good[1])
put('long_frame', ext_frame(2047, 0, 2047, 0x55) + good[0])
put('garbage_and_cut', b'\x01\x02\x7f' + good[0] + b'\xaa\x55' + good[1] + good[2][:12])
EOF

# ---- IEC 61937 bursts for burstpick ----------------------------------------------
$FF -f lavfi -i "sine=f=440:r=32000:d=0.1" -ac 2 -c:a ac3 -b:a 64k -f spdif ac3.spdif
$FF -f lavfi -i "sine=f=440:r=48000:d=0.06" -ac 2 -c:a mp2 -b:a 64k -f spdif mp2.spdif
$FF -f lavfi -i "sine=f=440:r=48000:d=0.05" -ac 2 -c:a dca -strict -2 -f spdif dts.spdif
$FF -f lavfi -i "sine=f=440:r=48000:d=0.1" -ac 2 -c:a eac3 -b:a 96k -f spdif eac3.spdif
# MPEG-2 LSF frames with the private bit set: ffmpeg carries them as type 6.
sox -n -r 22050 -c 2 -b 16 tone22.wav synth 0.2 sine 440
twolame --quiet --private-ext -d -b 32 tone22.wav private_ext.mp2
$FF -i private_ext.mp2 -c copy -f spdif type6.spdif
python3 - "$CORPUS/burst_scan" "$CORPUS/extension_split" <<'EOF'
import sys, os, struct
scan_dir, split_dir = sys.argv[1], sys.argv[2]
# Options bytes in front (see fuzz/burst_scan.cpp): flags, -s, -t, -r, -T,
# -b, -e.  Defaults: stream 0, any type, first 0, no end.
DEFAULT = bytes([0x00, 0x00, 0xff, 0xff, 0x00, 0x00, 0xff])
def bursts(data):
    """The bursts of a little-endian IEC 61937 stream, padding dropped."""
    out, i = [], 0
    while True:
        i = data.find(b'\x72\xf8\x1f\x4e', i)
        if i < 0 or i + 8 > len(data):
            return out
        pc, pd = struct.unpack('<HH', data[i + 4:i + 8])
        # Pd counts bytes for DTS type IV, E-AC-3 and MAT, bits otherwise.
        words = ((pd if pc & 31 in (17, 21, 22) else (pd + 7) // 8) + 1) // 2
        out.append(data[i:i + 8 + 2 * words])
        i += 8 + 2 * words
def swap(b):
    return b''.join(b[i + 1:i + 2] + b[i:i + 1] for i in range(0, len(b) - 1, 2))
def burst(pc, payload):
    """A little-endian burst of payload (stream byte order) with padding."""
    if len(payload) % 2:
        payload += b'\0'
    return struct.pack('<HHHH', 0xF872, 0x4E1F, pc, 8 * len(payload)) + swap(payload) + b'\0' * 16
def put(name, data, options=DEFAULT):
    open(os.path.join(scan_dir, name), 'wb').write(options + data)
for kind in ('ac3', 'mp2', 'dts'):
    found = bursts(open(kind + '.spdif', 'rb').read())[:3]
    stream = b''.join(b + b'\0' * 16 for b in found)
    put(kind, stream)
    put(kind + '_be', swap(stream), bytes([0x01]) + DEFAULT[1:])
    put(kind + '_verbose', stream, bytes([0x18, 0x00, 0xff, 0xff, 0x00, 0x01, 0x02]))
    # Behind silence that ends 32 bytes before the scanner's first refill.
    put(kind + '_straddle', stream, bytes([0x40]) + DEFAULT[1:] + bytes([1]))
# MPEG-2 with extension (type 6): an MPEG-1 Layer II base frame (48 kHz,
# 64 kbit/s: 192 bytes) followed by an extension frame of 24 bytes.
base = b'\xff\xfc\x40\x00' + bytes(range(188))
ext = b'\x7f\xf0\x00' + bytes([24 >> 7 & 0x0F, (24 & 0x7F) << 1]) + b'\x5a' * 19
payload = base + ext
type6 = burst(6, payload) + burst(6, payload[:150]) + burst(6, base[:2])
put('mpeg2_ext', type6, bytes([0x28]) + DEFAULT[1:])
put('mpeg2_ext_no_stream', type6)
put('mpeg2_ext_interleave', type6, bytes([0x02]) + DEFAULT[1:])
# AC-3 followed by pause and null bursts, an error burst and a second stream.
ac3 = bursts(open('ac3.spdif', 'rb').read())[0]
mixed = ac3 + burst(3, b'\0' * 8) + burst(0, b'') + burst(1 | 0x80, b'\x0b\x77' + b'\0' * 30) + burst(1 | 0x2000, b'\x0b\x77' + b'\0' * 30)
put('ac3_pause_error', mixed, bytes([0x04, 0x00, 0xff, 0xff, 0x00, 0x00, 0xff]))
put('mp2_pause', bursts(open('mp2.spdif', 'rb').read())[0] + burst(3, b'\0' * 4))
put('cut_short', ac3[:40])
# E-AC-3 (Pd in bytes), also forced to another type, and ffmpeg's type 6
# bursts of odd LSF frames (the pad byte behind them is no extension).
eac3 = b''.join(b + b'\0' * 16 for b in bursts(open('eac3.spdif', 'rb').read())[:2])
put('eac3', eac3)
put('eac3_forced_ac3', eac3, DEFAULT[:4] + bytes([0x81]) + DEFAULT[5:])
type6 = b''.join(b + b'\0' * 16 for b in bursts(open('type6.spdif', 'rb').read())[:4])
put('ffmpeg_type6', type6, bytes([0x28]) + DEFAULT[1:])

def put_split(name, payload, flags=0x03):
    open(os.path.join(split_dir, name), 'wb').write(bytes([flags]) + payload)
put_split('base_and_ext', payload)
put_split('ext_longer_than_payload', payload[:200])
put_split('base_only', base)
put_split('header_only', base[:3])
put_split('reserved_layer', b'\xff\xf8\x40\x00' + payload[4:])
put_split('reserved_frequency', b'\xff\xfc\x4c\x00' + payload[4:])
put_split('layer1', b'\xff\xfe\x10\x00' + bytes(28) + ext)
put_split('no_extension_stream', payload, 0x01)
# An LSF layer 2 base frame (22.05 kHz, 32 kbit/s: 208 bytes) with the pad
# byte behind it, with a cut-off extension header, and in free format.
lsf = b'\xff\xf5\x40\x00' + bytes(range(204))
put_split('lsf_layer2_padded', lsf + b'\0')
put_split('lsf_ext_header_cut', lsf + ext[:4])
put_split('free_format', b'\xff\xfc\x04\x00' + payload[4:])
EOF

# ---- command lines ---------------------------------------------------------------------
python3 - "$CORPUS/options" <<'EOF'
import sys, os
d = sys.argv[1]
# First byte: scanner (0 get_option alone, 1..7 a program), bit 3 errors
# reported, bits 4-5 switch character; then NUL-separated elements.
lines = {
    0: [["b:e:i:o:Fahluv", "prog", "-ab", "3", "-e5", "-lu", "--", "-x"],
        ["ab:", "prog", "-a", "-b", "-", "operand"], ["x:", "prog", "-x"], ["a?:", "prog", "-?", "-:", "-z"]],
    1: [["sonomorph", "-t", "aiff_24", "-n", "-o", "out.aif", "in.wav"], ["sonomorph", "-c2", "-f", "8000", "-q"]],
    2: [["tonesmith", "-a", "1000", "-c", "2", "-f", "8000", "-n", "100", "-s", "440", "-S", "880", "-L", "-t", "sun", "x.au"]],
    3: [["pcmwrap", "-s", "8000", "-b", "3", "-c", "2", "-t", "wave", "-o", "out.wav", "a.raw", "b.raw"]],
    4: [["pcmpeel", "-b", "1", "-f", "10", "-t", "20", "-o", "out.raw", "in.wav"]],
    5: [["burstpick", "-b", "1", "-e", "9", "-E", "x.ext", "-L", "log", "-o", "out", "-O", "kern", "-s", "1",
         "-t", "6", "-r", "1", "-T", "5", "-ipuv", "in.wav"]],
    6: [["framesnip", "-a", "-b", "2", "-e", "9", "-F", "-i", "in.mp2", "-o", "out.mp2", "-luv"]],
    7: [["chunksnip", "-a", "-b", "2", "-e", "9", "-F", "-i", "in.ext", "-o", "out.ext", "-lu", "-h"]],
}
for selector, commands in lines.items():
    for n, elements in enumerate(commands):
        for errors in (0, 8):
            data = bytes([selector | errors]) + b'\0'.join(e.encode() for e in elements)
            open(os.path.join(d, f'{selector}_{n}_{errors}'), 'wb').write(data)
open(os.path.join(d, 'plus_switch'), 'wb').write(b'\x20' + b'\0'.join([b'ab:', b'prog', b'+a', b'+bvalue', b'-a']))
EOF

for d in "$CORPUS"/*; do
    echo "$(basename "$d"): $(ls "$d" | wc -l) seeds, $(du -sk "$d" | cut -f1) KiB"
done
