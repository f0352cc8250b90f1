# demo: one signal through SUN, AIFF, AIFC, SPW and ILS files and back to WAVE
set -euo pipefail
"$BIN/tonesmith" -c 2 -n 4800 -a 12000 -s 440 -f 48000 tone.wav
echo "tonesmith: 0.1 s of 440 Hz, stereo 16-bit WAVE: $(wc -c < tone.wav) bytes"

# Each step rescales to the new precision (-n); every precision on the way
# holds the 16-bit values exactly, so the last step must give them back.
step() {  # step FROM TO TYPE [more sonomorph options]
    local from=$1 to=$2 type=$3
    shift 3
    "$BIN/sonomorph" -n -t "$type" "$@" -o "$to" "$from" 2>/dev/null
    printf '  %-8s -> %-10s %7s bytes\n' "$type" "$to" "$(wc -c < "$to")"
}
echo "sonomorph -n through the families:"
step tone.wav tone.au sun_24
step tone.au tone.aif aiff_32
step tone.aif tone.aifc aifc_16
step tone.aifc tone.spw spw_d
step tone.spw tone.ils ils_f -c 2  # SPW holds one signal: regroup the pairs
step tone.ils tone16.ils ils
step tone16.ils tone.snd sun_d
step tone.snd back.wav wave_16

echo "the SPW header is text (one signal of all 9600 samples):"
sed -n '/^Sampling/p;/^Number/p;/^Signal/p' tone.spw | sed 's/^/  /'
echo "ILS header word 11 (frames per 512-byte block of floats): $(od -A n -t d4 -j 44 -N 4 tone.ils | tr -d ' ')" \
    "(512 bytes / 2 channels of 4 bytes)"

if cmp -s <(tail -c +45 tone.wav) <(tail -c +45 back.wav); then
    echo "WAVE -> SUN -> AIFF -> AIFC -> SPW -> ILS -> ILS -> SUN -> WAVE: samples identical"
else
    echo "WAVE -> ... -> WAVE: samples DIFFER"; exit 1
fi
cat tone.aifc | "$BIN/sonomorph" -t wave_16 -o piped.wav
echo "cat tone.aifc | sonomorph -t wave_16: AIFC recognised on standard input, $(wc -c < piped.wav) bytes"
