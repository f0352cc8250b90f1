#!/usr/bin/env bash
# Runs every demonstration in scripts/demo.d in order, in a scratch folder.
set -euo pipefail
HERE=$(dirname "$(readlink -f "$0")")
BIN=$(cd "${1:-build/bin}" && pwd)
export BIN
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"
for part in "$HERE"/demo.d/*.sh; do
    echo
    echo "=== $(sed -n 's/^# demo: //p' "$part")"
    bash -euo pipefail "$part"
done
echo
echo "demo finished"
