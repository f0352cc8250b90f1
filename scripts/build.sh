#!/usr/bin/env bash
# build.sh PRESET [TARGET...]: configures the preset's build folder and
# builds the targets (default: all of them) with JOBS jobs, showing the
# progress on one line; warnings and errors are shown in full.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/progress.sh
preset=${1:?usage: build.sh PRESET [TARGET...]}
shift
started=$(date +%s)
targets=()
for target in "$@"; do
    targets+=(--target "$target")
done

cmake --preset "$preset" 2>&1 | progress '^(-- |Preset CMake variables:|  [A-Z_]+=|$)' 0
cmake --build --preset "$preset" -j "${JOBS:-2}" "${targets[@]}" 2>&1 |
    progress '^\[ *[0-9]+%\]|^(Scanning dependencies|Consolidate compiler generated dependencies) of target |^Built target |^g?make\[[0-9]+\]: (Entering|Leaving) directory '
echo "build.sh: built ${*:-everything} of preset $preset in $(($(date +%s) - started)) s"
