#!/bin/sh
# many_files.sh BIN README PAGE: the recipe that converts a folder tree on one
# machine, the same in the README and the sonomorph page, run on 30 files in
# nested folders with awkward names and on one that is no audio file: each
# output is what converting its input alone gives, and the bad file fails
# the run and keeps its messages.
set -eu
bin=$(cd "$1" && pwd) readme=$2 page=$3
PATH=$bin:$PATH
work=$(mktemp -d "${TMPDIR:-/tmp}/sono-many.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# The indented block after the marker in the README, the .nf block after it
# in the page (its escapes undone).
awk '/<!-- recipe: one machine -->/ { on = 1; next }
     on && /^    / { print substr($0, 5); next }
     on { exit }' "$readme" > "$work/readme.sh"
awk '/^\.\\" recipe: one machine/ { on = 1; next }
     on && /^\.nf/ { next }
     on && /^\.fi/ { exit }
     on' "$page" | sed "s/\\\\-/-/g; s/\\\\(aq/'/g" > "$work/page.sh"
[ -s "$work/readme.sh" ] || fail "no recipe in $readme"
diff "$work/readme.sh" "$work/page.sh" || fail "the README and $page give different recipes"

mkdir -p "$work/sounds/a/b c" "$work/sounds/it's" "$work/sounds/-d"
i=0
for dir in . a "a/b c" "it's" -d; do
    for width in 8 16 24 32 16 16; do
        i=$((i + 1))
        tonesmith -c $((i % 3 + 1)) -n $((37 * i)) -s $((100 * i)) -t wave_$width "$work/sounds/$dir/tone $i.wav"
    done
done
echo "no audio" > "$work/sounds/a/broken.wav"

status=0
(cd "$work" && sh "$work/readme.sh") || status=$?
[ $status -eq 123 ] || fail "the recipe ends with status $status, not xargs's 123 for a failed file"
[ -s "$work/converted/a/broken.aif.log" ] || fail "the failed file left no messages"

cd "$work/sounds"
find . -name '*.wav' ! -name broken.wav > "$work/inputs"
[ "$(wc -l < "$work/inputs")" -eq 30 ] || fail "$(wc -l < "$work/inputs") inputs made, not 30"
while IFS= read -r in; do
    out=../converted/${in%.wav}.aif
    [ -f "$out" ] || fail "$out is missing"
    [ ! -e "$out.log" ] || fail "$out.log is left: $(cat "$out.log")"
    sonomorph -n -t aiff_24 -o "$work/alone.aif" "$in" 2> /dev/null
    cmp -s "$out" "$work/alone.aif" || fail "$out is not what converting $in alone gives"
done < "$work/inputs"
[ "$(find ../converted -name '*.aif' | wc -l)" -eq 30 ] || fail "not 30 outputs"
echo "ok: 30 files converted"
