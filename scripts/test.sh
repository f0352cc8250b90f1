#!/usr/bin/env bash
# test.sh STEP...: builds and runs the tests of each step, in order:
#   release  the optimised build and every test
#   plain    its codec and program tests again with every vector path off
#   asan     every test built with AddressSanitizer and UBSan
# A step whose tests fail does not stop the next.  At the end: why tests
# skipped (ctest names them only), and one line naming the peers that were
# missing.  The status is 0 when every step passed.
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}
skips=$(mktemp "${TMPDIR:-/tmp}/sono-skips.XXXXXX")
trap 'rm -f "$skips"' EXIT
status=0

# skipped RUN LOG: "RUN<TAB>reason<TAB>test" for each test of ctest's LOG
# that skipped: GoogleTest's message after "Skipped", or a script's "SKIP: ".
skipped() {
    awk -v run="$1" '
        function emit(why) { gsub(/\t/, " ", why); print run "\t" (why == "" ? "no reason given" : why) "\t" name }
        /^[0-9]+\/[0-9]+ Test: / { name = $0; sub(/^[0-9]+\/[0-9]+ Test: /, "", name); reading = 0; next }
        / Skipped$/ { reading = 1; why = ""; next }
        reading && /^\[  SKIPPED \]/ { emit(why); reading = 0; next }
        reading { why = why (why == "" ? "" : " ") $0; next }
        /^SKIP: / { emit(substr($0, 7)) }
    ' "$2"
}

for step in "$@"; do
    case $step in
        release | plain) build=build preset=release ;;
        asan) build=build-asan preset=asan ;;
        *) echo "test.sh: no step $step (release, plain, asan)" >&2; exit 2 ;;
    esac
    if ! bash scripts/build.sh "$preset"; then
        status=1
        continue
    fi
    [ "$step" = plain ] && preset=release-plain
    ctest --preset "$preset" -j "$jobs" || status=1
    skipped "$step" "$build/Testing/Temporary/LastTest.log" >> "$skips"
done

if [ -s "$skips" ]; then
    echo
    echo "Why tests skipped (runs: count; reason; the first test):"
    # One line a reason: how many skipped for it in each run, and the first.
    awk -F '\t' '
        !($2 in first) { order[++n] = $2; first[$2] = $3 }
        !(($2, $1) in count) { runs[$2] = runs[$2] (runs[$2] == "" ? "" : ", ") $1 }
        { count[$2, $1]++; total[$2]++ }
        END {
            for (i = 1; i <= n; i++) {
                r = order[i]; split(runs[r], names, ", "); line = ""
                for (j = 1; j in names; j++) line = line (j > 1 ? ", " : "") names[j] " " count[r, names[j]]
                printf "  %s: %s; e.g. %s\n", line, r, first[r]
            }
        }' "$skips"
fi
peers=$(bash scripts/need.sh --missing peer)
for program in $(sed -n "s/.*peer '\\([^']*\\)' is not installed.*/\\1/p" "$skips" | sort -u); do
    case " $peers " in *" $program "*) ;; *) peers="${peers:+$peers }$program" ;; esac
done
if [ -n "$peers" ]; then
    echo "missing peers: $peers"
else
    echo "all peers present"
fi
exit $status
