# demo: pcmpeel and pcmwrap: a signal peeled to raw samples and wrapped back
set -euo pipefail
"$BIN/tonesmith" -c 2 -n 48000 -a 20000 -s 440 -t wave_16 tone.wav
"$BIN/tonesmith" -c 2 -n 48000 -a 20000 -s 440 -t wave_16 | "$BIN/pcmpeel" > tone.raw
echo "tonesmith | pcmpeel > tone.raw: $(wc -c < tone.raw) bytes of 16-bit little-endian samples, no header"
"$BIN/pcmwrap" -s 48000 -c 2 -t wave tone.raw | "$BIN/sonomorph" -o back.wav
echo "pcmwrap -t wave tone.raw | sonomorph -o back.wav: $(wc -c < back.wav) bytes"
if cmp -s tone.wav back.wav; then
    echo "back.wav is tone.wav byte for byte"
else
    echo "back.wav DIFFERS from tone.wav"; exit 1
fi
"$BIN/pcmpeel" -b 3 -f 100 -t 110 tone.wav > slice.raw
echo "pcmpeel -b 3 -f 100 -t 110: frames 100..109 as 24-bit samples, $(wc -c < slice.raw) bytes"
head -c 96000 tone.raw > half.raw
"$BIN/pcmwrap" -b 2 -c 2 -o mix.aif tone.raw half.raw
echo "pcmwrap -c 2 tone.raw half.raw: two stereo inputs side by side, as long as the shorter:"
echo "  mix.aif $(wc -c < mix.aif) bytes, $("$BIN/pcmpeel" mix.aif | wc -c) bytes of samples (24000 frames of 4 channels)"
