#!/bin/bash
# completion.sh COMPLETION LIBRARY_NAMES SOURCE_DIR
# Loads the bash completion, drives it as bash does on <Tab> and checks what
# it offers against the code: each program's get_option letters, the type
# names get_audio_type takes and the data types burstpick writes out.
set -u
completion=$1 names=$2 src=$3
export LC_ALL=C
work=$(mktemp -d "${TMPDIR:-/tmp}/sono-completion.XXXXXX")
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# shellcheck source=/dev/null
. "$completion" || { echo "FAIL: sourcing $completion"; exit 1; }

# offer LINE: what <Tab> at the end of LINE offers, sorted, on one line.
offer() {
    local COMP_LINE=$1 COMP_POINT=${#1} COMP_WORDS COMP_CWORD COMPREPLY=()
    read -ra COMP_WORDS <<< "$1"
    [[ $1 == *' ' ]] && COMP_WORDS+=('')
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    local spec
    read -ra spec <<< "$(complete -p "${COMP_WORDS[0]}")"
    "${spec[2]}" "${COMP_WORDS[0]}" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//'
}
line() { sort | tr '\n' ' ' | sed 's/ $//'; }

# The library's own lists.  Candidates for type names are the words quoted
# in the library's sources and those the completion offers; the library
# says which of them it takes.
offered=$(offer 'sonomorph -t ')
lib_types=$({ grep -oh '"[a-z][a-z0-9_]*"' "$src"/audiofile/*.cpp | tr -d '"'; echo "$offered" | tr ' ' '\n'; } \
    | sort -u | xargs "$names" types | line)
lib_data=$("$names" data | line)
[ -n "$lib_types" ] && [ -n "$lib_data" ] || fail "no names from the library: types '$lib_types' data '$lib_data'"

cd "$work" || exit 1
touch in.wav notes.txt -- -late.wav
dir_files=$(printf '%s\n' * | line)

for program in sonomorph tonesmith pcmwrap pcmpeel burstpick framesnip chunksnip; do
    [ "$(complete -p $program)" = "complete -F _sonosuite $program" ] || fail "complete -p $program: $(complete -p $program)"
    source_spec=$(sh "$src/tests/install/option_spec.sh" "$src"/tools/$program/*.cpp)
    known=$(_sonosuite_program $program; echo "$spec")
    [ "$known" = "$source_spec" ] || fail "$program: the completion knows \"$known\", get_option takes \"$source_spec\""
    want=$(printf '%s' "$source_spec" | tr -d : | sed 's/./-&\n/g' | line)
    got=$(offer "$program -")
    [ "$got" = "$want" ] || fail "$program -<Tab>: '$got', want '$want'"
done

# LINE|WHAT <Tab> at its end offers ($lib_types, $lib_data, $dir_files: the lists above).
while IFS='|' read -r typed want; do
    want=$(eval "echo \"$want\"")
    got=$(offer "$typed")
    [ "$got" = "$want" ] || fail "'$typed<Tab>': '$got', want '$want'"
done << 'EOF'
sonomorph -t |$lib_types
sonomorph -nt |$lib_types
sonomorph -c 2 -t wave_|wave_16 wave_24 wave_32 wave_8
tonesmith -tsun_|-tsun_16 -tsun_24 -tsun_32 -tsun_8 -tsun_d -tsun_f
pcmwrap -t aifc|aifc aifc_16 aifc_24 aifc_32 aifc_8
sonomorph -t xyz|
pcmpeel -t |
sonomorph -c |
burstpick -b |
burstpick -t |$lib_data
burstpick -T |$lib_data
burstpick -ivr |$lib_data
sonomorph -o |$dir_files
framesnip -i n|notes.txt
burstpick -O |$dir_files
burstpick -E n|notes.txt
sonomorph -n i|in.wav
sonomorph -oin|-oin.wav
sonomorph in.wav -|-late.wav
sonomorph -- -|-late.wav
pcmwrap in.wav |$dir_files
EOF

[ $failed -eq 0 ] && echo "ok: $(echo "$lib_types" | wc -w) type names, data types $lib_data"
exit $failed
