# pcmpeel and pcmwrap beside sox moving the same samples between a 16-bit
# stereo WAVE file and raw bytes.  Sourced by bench.sh with $BIN, $DATA and
# $RUNS set.
echo
echo "== pcmpeel and pcmwrap (median of $RUNS rounds)"
if ! have sox; then
    echo "sox is not installed: raw bench skipped"
    return 0
fi
big_wave
WORK="$DATA/raw"
mkdir -p "$WORK"
RAW="$WORK/big.raw" OUT="$WORK/out"
sox "$BIG" -t raw "$RAW"  # the input of the wrap runs, made once
cat "$BIG" "$RAW" >/dev/null

job_ours() { "$BIN/pcmpeel" -b 2 -o "$OUT" "$BIG"; }
job_peer() { sox "$BIG" -t raw "$OUT"; }
job_ours >/dev/null 2>&1 && { cmp -s "$OUT" "$RAW" || echo "pcmpeel: output DIFFERS from sox's"; }
run_job "pcmpeel -b 2 in.wav" "$BIG" "$RAW" "$OUT" "sox in.wav -t raw out.raw"

job_ours() { "$BIN/pcmwrap" -s 48000 -b 2 -c 2 -t wave -o "$OUT" "$RAW"; }
job_peer() { sox -t raw -r 48000 -e signed -b 16 -c 2 "$RAW" -t wav "$OUT"; }
job_ours >/dev/null 2>&1 && { cmp -s "$OUT" "$BIG" || echo "pcmwrap: output DIFFERS from the original WAVE file"; }
run_job "pcmwrap -b 2 -c 2 -t wave raw" "$RAW" "$BIG" "$OUT" "sox -t raw ... in.raw out.wav"
rm -rf "$WORK"
