# Shared by the bench parts.
#
# median_time CMD...: runs CMD $RUNS times (removing $OUT first when set) and
# prints the median wall time in seconds.
median_time() {
    local times=()
    for ((i = 0; i < RUNS; i++)); do
        [ -n "${OUT:-}" ] && rm -f "$OUT"
        local start end
        start=$(date +%s.%N)
        "$@" >/dev/null 2>&1
        end=$(date +%s.%N)
        times+=("$(echo "$end - $start" | bc -l)")
    done
    printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'
}

# compare LABEL OURS_SECONDS PEER_LABEL PEER_SECONDS: one result row.
compare() {
    awk -v l="$1" -v o="$2" -v pl="$3" -v p="$4" \
        'BEGIN { printf "%-44s %8.3f s   %-26s %8.3f s   ratio %5.2f\n", l, o, pl, p, (p > 0 ? o / p : 0) }'
}

have() { command -v "$1" >/dev/null 2>&1; }
