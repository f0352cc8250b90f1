# sonomorph and tonesmith beside sox doing the same job, and beside cat of
# the same bytes.  Sourced by bench.sh with $BIN, $DATA and $RUNS set.
echo
echo "== sonomorph and tonesmith (median of $RUNS runs)"
if ! have sox; then
    echo "sox is not installed: foundation bench skipped"
    return 0
fi

BIG="$DATA/big.wav"
if [ ! -s "$BIG" ]; then
    # 70000000 stereo 16-bit frames: 280 MB, a file of real size.
    echo "making $BIG ..."
    "$BIN/tonesmith" -c 2 -n 70000000 -a 20000 -s 997 -f 48000 "$BIG"
fi
printf '%s: %s bytes\n' "$BIG" "$(stat -c %s "$BIG")"
WORK="$DATA/out"
mkdir -p "$WORK"
cat "$BIG" >/dev/null  # every run, the first included, reads from the page cache

# cat of the input bytes into a file: the floor for any program that copies.
OUT="$WORK/cat.wav"
t_cat=$(median_time sh -c 'cat "$1" > "$2"' sh "$BIG" "$OUT")
rm -f "$OUT"

OUT="$WORK/ours24.wav"
t_ours=$(median_time "$BIN/sonomorph" -t wave_24 -n -o "$OUT" "$BIG")
rm -f "$OUT"
OUT="$WORK/sox24.wav"
t_sox=$(median_time sox "$BIG" -t wavpcm -b 24 "$OUT")
rm -f "$OUT"
compare "sonomorph -t wave_24 -n" "$t_ours" "sox -t wavpcm -b 24" "$t_sox"
compare "sonomorph -t wave_24 -n" "$t_ours" "cat" "$t_cat"

OUT="$WORK/ours16.wav"
t_ours=$(median_time "$BIN/sonomorph" -o "$OUT" "$BIG")
rm -f "$OUT"
OUT="$WORK/sox16.wav"
t_sox=$(median_time sox "$BIG" "$OUT")
rm -f "$OUT"
compare "sonomorph (16-bit copy)" "$t_ours" "sox in.wav out.wav" "$t_sox"
compare "sonomorph (16-bit copy)" "$t_ours" "cat" "$t_cat"

# 10 minutes of 1 kHz at 48 kHz; vol 0.1526 is sox's peak of 5000/32767.
OUT="$WORK/tone-ours.wav"
t_ours=$(median_time "$BIN/tonesmith" -n 28800000 -s 1000 -f 48000 "$OUT")
rm -f "$OUT"
OUT="$WORK/tone-sox.wav"
t_sox=$(median_time sox -D -n -r 48000 -b 16 -c 1 "$OUT" synth 600 sine 1000 vol 0.1526)
rm -f "$OUT"
compare "tonesmith 600 s of 1 kHz" "$t_ours" "sox synth 600 sine 1000" "$t_sox"
unset OUT
rmdir "$WORK" 2>/dev/null || true
