# sonomorph into the big-endian families beside sox doing the same job:
# 24-bit AIFF, float and double SUN.  Sourced by bench.sh with $BIN, $DATA
# and $RUNS set.
echo
echo "== sonomorph into AIFF and SUN (median of $RUNS rounds)"
if ! have sox; then
    echo "sox is not installed: formats bench skipped"
    return 0
fi
big_wave
WORK="$DATA/out"
mkdir -p "$WORK"
REF="$WORK/ref"
cat "$BIG" >/dev/null

OUT="$WORK/out.aif"
job_ours() { "$BIN/sonomorph" -t aiff_24 -n -o "$OUT" "$BIG"; }
job_peer() { sox "$BIG" -b 24 -t aiff "$OUT"; }
job_ours >/dev/null 2>&1 && mv "$OUT" "$REF"
run_job "sonomorph -t aiff_24 -n" "$BIG" "$REF" "$OUT" "sox -b 24 -t aiff"

OUT="$WORK/out.au"
job_ours() { "$BIN/sonomorph" -t sun_f -n -o "$OUT" "$BIG"; }
job_peer() { sox "$BIG" -e floating-point -b 32 -t au "$OUT"; }
job_ours >/dev/null 2>&1 && mv "$OUT" "$REF"
run_job "sonomorph -t sun_f -n" "$BIG" "$REF" "$OUT" "sox -e floating-point -b 32 .au"

job_ours() { "$BIN/sonomorph" -t sun_d -n -o "$OUT" "$BIG"; }
job_peer() { sox "$BIG" -e floating-point -b 64 -t au "$OUT"; }
job_ours >/dev/null 2>&1 && mv "$OUT" "$REF"
run_job "sonomorph -t sun_d -n" "$BIG" "$REF" "$OUT" "sox -e floating-point -b 64 .au"
rm -rf "$WORK"
