#!/usr/bin/env bash
# Runs every fuzz target for SECONDS seconds on top of its corpus, a few
# targets at a time, and fails when any of them finds a crash, a hang, a
# leak, a sanitizer report or a broken property.
#
#   scripts/fuzz.sh SECONDS [BIN]
#
# BIN is the folder of the fuzz_<target> programs (default build-fuzz/bin,
# as `make fuzz` builds them with the fuzz preset).  Each target starts from
# its committed seeds in fuzz/corpus/<target>/ and from what earlier runs
# found, kept in $FUZZ_WORK/corpus/<target>/ (default build-fuzz/fuzz-work),
# so that repeated runs go deeper.  Findings are written to
# $FUZZ_WORK/findings/, full logs to $FUZZ_WORK/logs/.
#
# Environment: FUZZ_JOBS targets at a time (default 2, one per core),
# FUZZ_TARGETS the targets to run (default: every fuzz_* in BIN),
# FUZZ_RUNS stop each target after this many executions, or after SECONDS
# if that comes first.
set -uo pipefail

SECONDS_PER_TARGET=${1:?usage: scripts/fuzz.sh SECONDS [BIN]}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN=${2:-$ROOT/build-fuzz/bin}
WORK=${FUZZ_WORK:-$ROOT/build-fuzz/fuzz-work}
JOBS=${FUZZ_JOBS:-2}

if [ -z "${FUZZ_TARGETS:-}" ]; then
    FUZZ_TARGETS=$(cd "$BIN" 2>/dev/null && ls fuzz_* 2>/dev/null | sed 's/^fuzz_//' | tr '\n' ' ')
fi
if [ -z "$FUZZ_TARGETS" ]; then
    echo "fuzz.sh: no fuzz targets in $BIN (build them with: make fuzz)" >&2
    exit 1
fi
mkdir -p "$WORK/corpus" "$WORK/findings" "$WORK/logs"

# One target: its libFuzzer run, output in its log, exit status kept.
run_target() {
    local target=$1
    local corpus=$WORK/corpus/$target
    local log=$WORK/logs/$target.log
    local limit=(-max_total_time="$SECONDS_PER_TARGET")
    [ -n "${FUZZ_RUNS:-}" ] && limit+=(-runs="$FUZZ_RUNS")
    local dict=()
    # A dictionary of the format's words: fuzz/<target>.dict, or one shared by
    # the targets of a family (fuzz/audio.dict for audio_fd and audio_stream).
    if [ -f "$ROOT/fuzz/$target.dict" ]; then
        dict=(-dict="$ROOT/fuzz/$target.dict")
    elif [ -f "$ROOT/fuzz/${target%%_*}.dict" ]; then
        dict=(-dict="$ROOT/fuzz/${target%%_*}.dict")
    fi
    mkdir -p "$corpus"
    "$BIN/fuzz_$target" "${limit[@]}" "${dict[@]}" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$WORK/findings/$target-" "$corpus" "$ROOT/fuzz/corpus/$target" >"$log" 2>&1
    echo $? >"$WORK/logs/$target.status"
}

# The figures of a finished run, from the last status line and the stats.
summary() {
    local target=$1
    local log=$WORK/logs/$target.log
    local runs cov corp
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
    corp=$(grep -o 'corp: [0-9]*/[0-9A-Za-z]*' "$log" | tail -n 1 | cut -d' ' -f2)
    printf '%-16s executions %10s   corpus %-12s coverage %5s edges\n' "$target" "${runs:-?}" "${corp:-?}" "${cov:-?}"
}

echo "fuzzing $SECONDS_PER_TARGET s${FUZZ_RUNS:+ or $FUZZ_RUNS runs} per target, $JOBS at a time: $FUZZ_TARGETS"
running=0
for target in $FUZZ_TARGETS; do
    if [ ! -x "$BIN/fuzz_$target" ]; then
        echo "fuzz.sh: no program $BIN/fuzz_$target" >&2
        exit 1
    fi
    run_target "$target" &
    running=$((running + 1))
    if [ "$running" -ge "$JOBS" ]; then
        wait -n
        running=$((running - 1))
    fi
done
wait

failed=0
for target in $FUZZ_TARGETS; do
    summary "$target"
    status=$(cat "$WORK/logs/$target.status" 2>/dev/null || echo missing)
    if [ "$status" != 0 ]; then
        failed=1
        echo "  FINDING in $target (exit status $status); the report:"
        grep -E 'ERROR|SUMMARY|property failed|runtime error|Test unit written|#[0-9]+ 0x' "$WORK/logs/$target.log" |
            head -n 30 | sed 's/^/    /'
        echo "  full log: $WORK/logs/$target.log"
    fi
done
if [ "$failed" != 0 ]; then
    echo "fuzz.sh: findings above; replay one with: $BIN/fuzz_<target> <file>" >&2
    exit 1
fi
echo "fuzz.sh: no findings"
