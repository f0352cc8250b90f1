#!/usr/bin/env bash
# Times the tools beside their peers; each part in scripts/bench.d adds rows.
# Data files are made once in bench-data/ (several hundred MiB) and kept.
set -euo pipefail
HERE=$(dirname "$(readlink -f "$0")")
BIN=$(cd "${1:-build/bin}" && pwd)
DATA=$(pwd)/bench-data
RUNS=${RUNS:-5}
export BIN DATA RUNS
mkdir -p "$DATA"
source "$(dirname "$(readlink -f "$0")")/bench-lib.sh"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) ($(nproc) processors); $RUNS rounds of ours, the limit and the peer"
for part in "$HERE"/bench.d/*.sh; do
    source "$part"
done
