# sonomorph into the big-endian families beside sox doing the same job:
# 24-bit AIFF and float SUN.  Sourced by bench.sh with $BIN, $DATA and $RUNS.
echo
echo "== sonomorph into AIFF and SUN (median of $RUNS runs)"
if ! have sox; then
    echo "sox is not installed: formats bench skipped"
    return 0
fi

BIG="$DATA/big.wav"
if [ ! -s "$BIG" ]; then
    echo "making $BIG ..."
    "$BIN/tonesmith" -c 2 -n 70000000 -a 20000 -s 997 -f 48000 "$BIG"
fi
printf '%s: %s bytes\n' "$BIG" "$(stat -c %s "$BIG")"
WORK="$DATA/out"
mkdir -p "$WORK"
cat "$BIG" >/dev/null  # warm the page cache for the first timed run

OUT="$WORK/ours24.aif"
t_ours=$(median_time "$BIN/sonomorph" -t aiff_24 -n -o "$OUT" "$BIG")
rm -f "$OUT"
OUT="$WORK/sox24.aif"
t_sox=$(median_time sox "$BIG" -b 24 "$OUT")
rm -f "$OUT"
compare "sonomorph -t aiff_24 -n" "$t_ours" "sox -b 24 out.aif" "$t_sox"

OUT="$WORK/oursf.au"
t_ours=$(median_time "$BIN/sonomorph" -t sun_f -n -o "$OUT" "$BIG")
rm -f "$OUT"
OUT="$WORK/soxf.au"
t_sox=$(median_time sox "$BIG" -e floating-point -b 32 "$OUT")
rm -f "$OUT"
compare "sonomorph -t sun_f -n" "$t_ours" "sox -e floating-point -b 32 .au" "$t_sox"
unset OUT
