# burstpick: AC-3 out of a large IEC 61937 WAVE file, beside ffmpeg's spdif
# demuxer.  Sourced by bench.sh with $BIN, $DATA and $RUNS set.
bench_burstpick() {
    echo
    echo "== burstpick (median of $RUNS rounds)"
    if ! have ffmpeg; then
        echo "burstpick: ffmpeg not installed, bench skipped"
        return 0
    fi
    local wav="$DATA/iec61937-ac3.wav"
    if [ ! -s "$wav" ]; then
        # 30 minutes of a tone with noise, AC-3 at 448 kbit/s in bursts of
        # 6144 bytes: about 330 MiB.  +bitexact keeps the WAVE header plain.
        echo "burstpick: making $wav once (about a minute)"
        ffmpeg -v error -y -f lavfi -i "sine=frequency=997:duration=1800:sample_rate=48000" \
            -f lavfi -i "anoisesrc=duration=1800:sample_rate=48000:amplitude=0.05" \
            -filter_complex "[0][1]amix=inputs=2,aformat=channel_layouts=stereo" \
            -c:a ac3 -b:a 448k -f spdif - |
            ffmpeg -v error -y -f s16le -ar 48000 -ac 2 -i - -c copy -fflags +bitexact -f wav "$wav.part"
        mv "$wav.part" "$wav"
    fi
    cat "$wav" >/dev/null
    OUT="$DATA/burstpick-out.ac3" REF="$DATA/burstpick-ref.ac3"
    job_ours() { "$BIN/burstpick" -o "$OUT" "$wav"; }
    job_peer() { ffmpeg -v error -y -f spdif -i "$wav" -c copy -f ac3 "$OUT"; }
    job_peer >/dev/null 2>&1 && mv "$OUT" "$REF"
    job_ours >/dev/null 2>&1 && { cmp -s "$OUT" "$REF" || echo "burstpick: output differs from ffmpeg's"; }
    run_job "burstpick AC-3 ($(($(stat -c %s "$wav") >> 20)) MiB)" "$wav" "$REF" "$OUT" "ffmpeg -f spdif -c copy"
    rm -f "$REF"
}
bench_burstpick
