# demo: framesnip cuts frames out of an MPEG audio stream; chunksnip mends a CRC
set -euo pipefail
encoder=""
if command -v twolame >/dev/null 2>&1; then
    encoder=twolame
elif command -v lame >/dev/null 2>&1; then
    encoder=lame
fi
if [ -z "$encoder" ]; then
    echo "framesnip: neither twolame nor lame is installed: this part of the demo is skipped"
else
    "$BIN/tonesmith" -c 2 -n 44100 -f 44100 -a 12000 -s 440 -t wave_16 tone.wav 2>/dev/null
    if [ "$encoder" = twolame ]; then
        twolame --quiet -b 192 tone.wav tone.mpa
    else
        lame --quiet -t -b 128 tone.wav tone.mpa
    fi
    echo "$encoder: 1 s of 440 Hz as MPEG audio: $(wc -c < tone.mpa) bytes"
    echo "\$ framesnip -b 10 -e 14 -l -u -i tone.mpa -o cut.mpa"
    "$BIN/framesnip" -b 10 -e 14 -l -u -i tone.mpa -o cut.mpa
    echo "  (unique: a hash of the frame's bytes; the summary counts every frame and byte read, not the cut)"
    echo "cut.mpa: $(wc -c < cut.mpa) bytes"
    echo "\$ framesnip -a -b 10 -e 14 -F -i tone.mpa -o cut-adc.mpa   (ADC header block in front, fast stop)"
    "$BIN/framesnip" -a -b 10 -e 14 -F -i tone.mpa -o cut-adc.mpa
    echo "  (-F stops where frame 14, the first past the range, begins: 14 + 1 frames, and its offset)"
    echo "cut-adc.mpa: $(wc -c < cut-adc.mpa) bytes; first 6 bytes: $(head -c 6 cut-adc.mpa | od -An -tx1)"
    echo "  (a 2304-byte header block, its words 1 and 2 holding the count of frames copied: 4)"
    if command -v mpg123 >/dev/null 2>&1; then
        mpg123 -q -w cut.wav cut.mpa && echo "mpg123 decodes the cut: $(wc -c < cut.wav) bytes of WAVE"
    fi
    command -v eyeD3 >/dev/null && cp tone.mpa t.mp3 && eyeD3 -Q --encoding utf16 -t Demo t.mp3 >/dev/null && cat t.mp3 t.mp3 > two.mp3 && "$BIN/framesnip" -i two.mp3 -o frames.mpa >/dev/null && cat tone.mpa tone.mpa | cmp -s - frames.mpa && echo "two eyeD3-tagged files joined with cat: framesnip keeps every frame, no tag byte"
fi

# An extension stream of three 24-byte frames; the second carries a CRC with
# its last bit flipped, which chunksnip reports and corrects.
frame() {  # frame CRC_HEX: 7F F + CRC + length 24, id 0, 19 payload bytes of 0x11
    local crc=$1
    printf "\\x7f\\x$(printf %x $((0xF0 | (crc >> 12))))\\x$(printf %x $(((crc >> 4) & 0xFF)))"
    printf "\\x$(printf %x $((((crc & 0xF) << 4) | 0)))\\x30"
    head -c 19 /dev/zero | tr '\0' '\021'
}
# 0x2BCE is the CRC-16 these frames need over their 128 bits from the length field on.
{ frame 0x2BCE; frame 0x2BCF; frame 0x2BCE; } > ext.bin
echo "\$ chunksnip -l -i ext.bin -o ext-fixed.bin"
"$BIN/chunksnip" -l -i ext.bin -o ext-fixed.bin
echo "  (crc[15]: the CRC bit that differs, computed <-> stored; then the frame's header bytes as read" \
    "and as corrected)"
if cmp -s <(head -c 24 ext.bin) <(tail -c +25 ext-fixed.bin | head -c 24); then
    echo "frame 1 now carries the same CRC as its identical neighbours"
fi
