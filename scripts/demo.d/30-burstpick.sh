# demo: burstpick takes the AC-3 stream back out of IEC 61937 bursts in a WAVE file
set -euo pipefail

if command -v ffmpeg >/dev/null 2>&1; then
    ffmpeg -v error -f lavfi -i "sine=frequency=997:duration=1:sample_rate=48000" -ac 2 \
        -c:a ac3 -b:a 192k -f ac3 tone.ac3
    ffmpeg -v error -i tone.ac3 -c copy -f spdif - |
        ffmpeg -v error -f s16le -ar 48000 -ac 2 -i - -c copy -f wav iec.wav
    echo "ffmpeg: 1 s of AC-3 at 192 kbit/s ($(wc -c < tone.ac3) bytes) packed as IEC 61937 bursts" \
        "into a 16-bit stereo WAVE file ($(wc -c < iec.wav) bytes)"
else
    # Without ffmpeg: three AC-3-typed bursts of 8 text bytes each, every
    # one followed by 8 words of stuffing, in a 44-byte-header WAVE file.
    {
        printf 'RIFF\x84\x00\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x02\x00'
        printf '\x80\xbb\x00\x00\x00\xee\x02\x00\x04\x00\x10\x00data\x60\x00\x00\x00'
        for n in 1 2 3; do
            # Pa Pb Pc (type 1) Pd (64 bits), then the payload words low byte first.
            printf '\x72\xf8\x1f\x4e\x01\x00\x40\x00'
            printf 'ubsr%st\n-' "$n"
            printf '%016d' 0 | tr 0 '\0'
        done
    } > iec.wav
    printf 'burst1-\nburst2-\nburst3-\n' > tone.ac3
    echo "ffmpeg not installed: built a small IEC 61937 WAVE file of three bursts instead"
fi

"$BIN/burstpick" -v -L burstpick.log -O picked iec.wav
echo "burstpick -v -L burstpick.log -O picked iec.wav wrote picked.ac3: $(wc -c < picked.ac3) bytes; the log:"
echo "  (pos: where a burst starts, in 16-bit words; off: words since the one before;" \
    "bsmod: the AC-3 service type, 0 for main audio)"
if [ "$(wc -l < burstpick.log)" -gt 6 ]; then
    sed -n '1,4p' burstpick.log
    echo "   ..."
    tail -n 2 burstpick.log
else
    cat burstpick.log
fi
if cmp -s picked.ac3 tone.ac3; then
    echo "picked.ac3 is byte for byte the stream the bursts carry"
else
    echo "picked.ac3 DIFFERS from the stream the bursts carry"; exit 1
fi
