# demo: tonesmith makes a sweep; sonomorph converts it through several types
set -euo pipefail
"$BIN/tonesmith" -c 2 -a 20000 -s 100 -S 4000 -L -n 48000 -t wave_16 sweep.wav
echo "tonesmith: 1 s logarithmic sweep 100 Hz -> 4 kHz, stereo, 16-bit WAVE: $(wc -c < sweep.wav) bytes"
"$BIN/sonomorph" -n -t wave_24 -o sweep24.wav sweep.wav 2>/dev/null
echo "sonomorph -n -t wave_24: $(wc -c < sweep24.wav) bytes (samples scaled by 256)"
"$BIN/sonomorph" -n -t wave_8 -o sweep8.wav sweep24.wav 2>/dev/null
echo "sonomorph -n -t wave_8:  $(wc -c < sweep8.wav) bytes"
"$BIN/sonomorph" -c 1 -f 96000 -o mono.wav sweep.wav
echo "sonomorph -c 1 -f 96000: the stereo pairs regrouped as one channel at 96 kHz: $(wc -c < mono.wav) bytes"
echo "  (the same size: nothing is mixed or resampled, only the header says otherwise)"
"$BIN/sonomorph" -n -t wave_16 -o back.wav sweep24.wav 2>/dev/null
if cmp -s <(tail -c +45 sweep.wav) <(tail -c +45 back.wav); then
    echo "16 -> 24 -> 16 bit round trip: samples identical"
else
    echo "16 -> 24 -> 16 bit round trip: samples DIFFER"; exit 1
fi
"$BIN/tonesmith" -n 4800 | "$BIN/sonomorph" -t wave_32 -n > pipe.wav 2>/dev/null
echo "tonesmith | sonomorph -t wave_32 -n > pipe.wav: $(wc -c < pipe.wav) bytes through a pipe"
