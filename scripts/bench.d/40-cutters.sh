# framesnip copying a whole large MP3 beside mp3splt's frame mode, ffmpeg's
# stream copy and cat.  Sourced by bench.sh with $BIN, $DATA and $RUNS set.
bench_cutters() {
    echo
    echo "== framesnip (median of $RUNS runs)"
    if ! have lame; then
        echo "framesnip: lame not installed, bench skipped"
        return 0
    fi
    local mp3="$DATA/long-320k-plain.mp3"
    if [ ! -s "$mp3" ]; then
        # 800 s of a stereo sweep at 320 kbit/s: about 30 MiB, made once.
        # Without lame's info frame (-t) all three peers give the input's
        # bytes back, so their outputs can be compared with ours.
        echo "framesnip: making $mp3 once (a few seconds)"
        "$BIN/tonesmith" -c 2 -n 35280000 -f 44100 -a 20000 -s 200 -S 2000 -L -t wave_16 "$DATA/long.wav" 2>/dev/null
        lame --quiet -t -b 320 "$DATA/long.wav" "$mp3.part"
        rm -f "$DATA/long.wav"
        mv "$mp3.part" "$mp3"
    fi
    cat "$mp3" >/dev/null  # warm the page cache for the first timed run
    local mib=$(($(stat -c %s "$mp3") >> 20))
    local work="$DATA/cutters-out"
    mkdir -p "$work"

    local ours t_cat t_splt t_ffmpeg
    ours=$(OUT="$work/ours.mp3" median_time "$BIN/framesnip" -i "$mp3" -o "$work/ours.mp3")
    if ! cmp -s "$mp3" "$work/ours.mp3"; then
        echo "framesnip: the whole cut differs from the input"
    fi
    t_cat=$(OUT="$work/cat.mp3" median_time sh -c 'cat "$1" > "$2"' sh "$mp3" "$work/cat.mp3")
    compare "framesnip whole $mib MiB MP3" "$ours" "cat" "$t_cat"
    if have mp3splt; then
        # Frame mode, the whole file as one piece: the same bytes.
        t_splt=$(median_time sh -c 'rm -rf "$2"; mkdir "$2"; mp3splt -q -f -d "$2" -o whole "$1" 0.0 EOF' \
            sh "$mp3" "$work/splt")
        compare "framesnip whole $mib MiB MP3" "$ours" "mp3splt -f" "$t_splt"
        mp3splt -q -f -d "$work/splt" -o whole "$mp3" 0.0 EOF >/dev/null 2>&1 || true
        cmp -s "$work/ours.mp3" "$work/splt/whole.mp3" || echo "framesnip: mp3splt's bytes differ from ours"
        rm -rf "$work/splt"
    else
        echo "framesnip: mp3splt not installed, comparison skipped"
    fi
    if have ffmpeg; then
        t_ffmpeg=$(OUT="$work/ffmpeg.mp3" median_time ffmpeg -v error -y -i "$mp3" -c copy -write_xing 0 \
            -id3v2_version 0 "$work/ffmpeg.mp3")
        compare "framesnip whole $mib MiB MP3" "$ours" "ffmpeg -c copy" "$t_ffmpeg"
        ffmpeg -v error -y -i "$mp3" -c copy -write_xing 0 -id3v2_version 0 "$work/ffmpeg.mp3"
        cmp -s "$work/ours.mp3" "$work/ffmpeg.mp3" || echo "framesnip: ffmpeg's bytes differ from ours"
    else
        echo "framesnip: ffmpeg not installed, comparison skipped"
    fi
    rm -rf "$work"
}
bench_cutters
