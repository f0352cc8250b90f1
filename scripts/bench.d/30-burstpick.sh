# burstpick: AC-3 out of a large IEC 61937 WAVE file, beside ffmpeg's spdif demuxer.
bench_burstpick() {
    if ! have ffmpeg; then
        echo "burstpick: ffmpeg not installed, comparison skipped"
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
    local out="$DATA/burstpick-out.ac3" peer_out="$DATA/ffmpeg-out.ac3"
    local ours peer
    ours=$(OUT="$out" median_time "$BIN/burstpick" -o "$out" "$wav")
    peer=$(OUT="$peer_out" median_time ffmpeg -v error -y -f spdif -i "$wav" -c copy -f ac3 "$peer_out")
    compare "burstpick AC-3 from $(($(stat -c %s "$wav") >> 20)) MiB IEC 61937 WAVE" "$ours" \
        "ffmpeg -f spdif -c copy" "$peer"
    if ! cmp -s "$out" "$peer_out"; then
        echo "burstpick: output differs from ffmpeg's"
    fi
    rm -f "$out" "$peer_out"
}
bench_burstpick
