# Shared by the bench parts.
#
# Each job is timed beside the floor of any program that does it: reading
# its input and writing its output's bytes (the limit: `cat IN >/dev/null;
# cat REF > OUT`, REF holding the bytes the job writes), and beside a peer
# doing the same job.  The three run in turn in every round, so that a load
# that comes and goes touches them alike; the medians are reported.

# elapsed CMD...: the wall time of one run of CMD in seconds.
elapsed() {
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# median_time CMD...: the median of $RUNS runs of CMD ($OUT removed first
# when set).
median_time() {
    local times=()
    for ((i = 0; i < RUNS; i++)); do
        [ -n "${OUT:-}" ] && rm -f "$OUT"
        times+=("$(elapsed "$@")")
    done
    printf '%s\n' "${times[@]}" | median
}

# The limit of a job reading $1 (or nothing, when empty) and writing the
# bytes of $2 into $3.
copy_limit() {
    [ -n "$1" ] && cat "$1" >/dev/null
    cat "$2" >"$3"
}

# run_job LABEL IN REF OUT PEER_LABEL: times the functions job_ours and
# job_peer (each writes $OUT, removed before every run) and the limit of
# reading IN and writing REF's bytes, and prints one row.  PEER_LABEL "-"
# has no peer.
run_job() {
    local label=$1 in=$2 ref=$3 out=$4 peer_label=$5
    local ours=() limit=() peer=()
    # Every run starts with the output gone and nothing left to write back
    # to the disk, which would slow whichever run came next.
    for ((i = 0; i < RUNS; i++)); do
        rm -f "$out" && sync
        ours+=("$(elapsed job_ours)")
        rm -f "$out" && sync
        limit+=("$(elapsed copy_limit "$in" "$ref" "$out")")
        if [ "$peer_label" != - ]; then
            rm -f "$out" && sync
            peer+=("$(elapsed job_peer)")
        fi
    done
    rm -f "$out"
    local t_ours t_limit t_peer=0
    t_ours=$(printf '%s\n' "${ours[@]}" | median)
    t_limit=$(printf '%s\n' "${limit[@]}" | median)
    [ "$peer_label" != - ] && t_peer=$(printf '%s\n' "${peer[@]}" | median)
    awk -v l="$label" -v o="$t_ours" -v m="$t_limit" -v pl="$peer_label" -v p="$t_peer" 'BEGIN {
        printf "%-32s %7.3f s   limit %7.3f s  ours/limit %5.2f", l, o, m, (m > 0 ? o / m : 0)
        if (pl != "-")
            printf "   %-30s %7.3f s  ours/peer %5.2f", pl, p, (p > 0 ? o / p : 0)
        printf "\n"
    }'
}

have() { command -v "$1" >/dev/null 2>&1; }

# The 16-bit stereo WAVE file most jobs read: 512 MiB of samples, made once.
big_wave() {
    BIG="$DATA/big512.wav"
    if [ ! -s "$BIG" ]; then
        echo "making $BIG ..."
        "$BIN/tonesmith" -c 2 -n 134217728 -a 20000 -s 997 -f 48000 "$BIG"
    fi
}
