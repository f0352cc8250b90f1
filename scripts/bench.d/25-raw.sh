# pcmpeel and pcmwrap beside sox moving the same samples between a 16-bit
# stereo WAVE file and raw bytes.  Sourced by bench.sh with $BIN, $DATA and
# $RUNS set.
echo
echo "== pcmpeel and pcmwrap (median of $RUNS runs)"
if ! have sox; then
    echo "sox is not installed: raw bench skipped"
    return 0
fi

BIG="$DATA/big.wav"
if [ ! -s "$BIG" ]; then
    echo "making $BIG ..."
    "$BIN/tonesmith" -c 2 -n 70000000 -a 20000 -s 997 -f 48000 "$BIG"
fi
WORK="$DATA/raw"
mkdir -p "$WORK"
RAW="$WORK/big.raw"
sox "$BIG" -t raw "$RAW"  # the input of the wrap runs, made once
cat "$BIG" "$RAW" >/dev/null  # warm the page cache for the first timed run

OUT="$WORK/ours.raw"
t_ours=$(median_time "$BIN/pcmpeel" -o "$OUT" "$BIG")
"$BIN/pcmpeel" -o "$OUT" "$BIG"
cmp -s "$OUT" "$RAW" || echo "pcmpeel: output DIFFERS from sox's"
rm -f "$OUT"
OUT="$WORK/sox.raw"
t_sox=$(median_time sox "$BIG" -t raw "$OUT")
rm -f "$OUT"
compare "pcmpeel in.wav > raw" "$t_ours" "sox in.wav -t raw out.raw" "$t_sox"

OUT="$WORK/ours.wav"
t_ours=$(median_time "$BIN/pcmwrap" -s 48000 -c 2 -t wave -o "$OUT" "$RAW")
"$BIN/pcmwrap" -s 48000 -c 2 -t wave -o "$OUT" "$RAW"
cmp -s "$OUT" "$BIG" || echo "pcmwrap: output DIFFERS from the original WAVE file"
rm -f "$OUT"
OUT="$WORK/sox.wav"
t_sox=$(median_time sox -t raw -r 48000 -e signed -b 16 -c 2 "$RAW" "$OUT")
rm -f "$OUT"
compare "pcmwrap -t wave raw" "$t_ours" "sox -t raw ... in.raw out.wav" "$t_sox"
unset OUT
rm -f "$RAW"
rmdir "$WORK" 2>/dev/null || true
