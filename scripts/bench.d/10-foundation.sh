# sonomorph and tonesmith beside sox doing the same job.  Sourced by bench.sh
# with $BIN, $DATA and $RUNS set.
echo
echo "== sonomorph and tonesmith (median of $RUNS rounds)"
if ! have sox; then
    echo "sox is not installed: foundation bench skipped"
    return 0
fi
big_wave
printf '%s: %s bytes\n' "$BIG" "$(stat -c %s "$BIG")"
WORK="$DATA/out"
mkdir -p "$WORK"
REF="$WORK/ref"
cat "$BIG" >/dev/null  # every run, the first included, reads from the page cache

OUT="$WORK/out.wav"
job_ours() { "$BIN/sonomorph" -t wave_24 -n -o "$OUT" "$BIG"; }
job_peer() { sox "$BIG" -t wavpcm -b 24 "$OUT"; }
job_ours >/dev/null 2>&1 && mv "$OUT" "$REF"
run_job "sonomorph -t wave_24 -n" "$BIG" "$REF" "$OUT" "sox -t wavpcm -b 24"

job_ours() { "$BIN/sonomorph" -o "$OUT" "$BIG"; }
job_peer() { sox "$BIG" "$OUT"; }
job_ours >/dev/null 2>&1 && mv "$OUT" "$REF"
cmp -s "$REF" "$BIG" || echo "sonomorph: the copy differs from its input"
run_job "sonomorph (16-bit copy)" "$BIG" "$REF" "$OUT" "sox in.wav out.wav"

# 10 minutes of 1 kHz at 48 kHz; vol 0.1526 is sox's peak of 5000/32767.
OUT="$WORK/tone.wav"
job_ours() { "$BIN/tonesmith" -n 28800000 -s 1000 -f 48000 "$OUT"; }
job_peer() { sox -D -n -r 48000 -b 16 -c 1 "$OUT" synth 600 sine 1000 vol 0.1526; }
job_ours >/dev/null 2>&1 && mv "$OUT" "$REF"
run_job "tonesmith 600 s of 1 kHz" "" "$REF" "$OUT" "sox synth 600 sine 1000"
rm -rf "$WORK"
