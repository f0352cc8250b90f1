# framesnip copying a whole large MP3 beside mp3splt's frame mode and
# ffmpeg's stream copy.  Sourced by bench.sh with $BIN, $DATA and $RUNS set.
bench_cutters() {
    echo
    echo "== framesnip (median of $RUNS rounds)"
    if ! have lame; then
        echo "framesnip: lame not installed, bench skipped"
        return 0
    fi
    local mp3="$DATA/long-320k-plain.mp3"
    if [ ! -s "$mp3" ]; then
        # 800 s of a stereo sweep at 320 kbit/s: about 30 MiB, made once.
        # Without lame's info frame (-t) all the peers give the input's
        # bytes back, so their outputs can be compared with ours.
        echo "framesnip: making $mp3 once (a few seconds)"
        "$BIN/tonesmith" -c 2 -n 35280000 -f 44100 -a 20000 -s 200 -S 2000 -L -t wave_16 "$DATA/long.wav" 2>/dev/null
        lame --quiet -t -b 320 "$DATA/long.wav" "$mp3.part"
        rm -f "$DATA/long.wav"
        mv "$mp3.part" "$mp3"
    fi
    cat "$mp3" >/dev/null
    local mib=$(($(stat -c %s "$mp3") >> 20))
    local work="$DATA/cutters-out"
    mkdir -p "$work"
    OUT="$work/out.mp3"
    job_ours() { "$BIN/framesnip" -i "$mp3" -o "$OUT"; }
    job_ours >/dev/null 2>&1 && { cmp -s "$mp3" "$OUT" || echo "framesnip: the whole cut differs from the input"; }
    if have ffmpeg; then
        job_peer() { ffmpeg -v error -y -i "$mp3" -c copy -write_xing 0 -id3v2_version 0 -f mp3 "$OUT"; }
        job_peer >/dev/null 2>&1 && { cmp -s "$mp3" "$OUT" || echo "framesnip: ffmpeg's bytes differ from the input"; }
        run_job "framesnip whole $mib MiB MP3" "$mp3" "$mp3" "$OUT" "ffmpeg -c copy"
    else
        run_job "framesnip whole $mib MiB MP3" "$mp3" "$mp3" "$OUT" -
    fi
    if have mp3splt; then
        # Frame mode, the whole file as one piece: the same bytes.
        job_peer() { rm -rf "$work/splt"; mkdir "$work/splt"; mp3splt -q -f -d "$work/splt" -o whole "$mp3" 0.0 EOF; }
        run_job "framesnip whole $mib MiB MP3" "$mp3" "$mp3" "$OUT" "mp3splt -f"
        cmp -s "$mp3" "$work/splt/whole.mp3" || echo "framesnip: mp3splt's bytes differ from the input"
    fi
    rm -rf "$work"
}
bench_cutters
