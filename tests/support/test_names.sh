#!/bin/sh
# test_names.sh TESTS_BUILD_DIR PROGRAM...: every test the programs list has
# a name that reads: printable, unique across programs, and for each row of
# a parameterised test a name made from the row, not its index; and the
# names ctest was given carry no print of a parameter.
set -eu
dir=$1
shift
work=$(mktemp -d "${TMPDIR:-/tmp}/sono-names.XXXXXX")
trap 'rm -rf "$work"' EXIT
status=0

for program in "$@"; do
    "$program" --gtest_list_tests > "$work/list" || { echo "FAIL: $program --gtest_list_tests"; exit 1; }
    awk -v program="${program##*/}" '
        /^[^ ]/ { suite = $1; next }
        /^  / {
            name = $1
            if ($0 ~ /# GetParam\(\) = / && name ~ /\/[0-9]+$/)
                print "FAIL: " program ": " suite name " is named by its index: give its rows a name generator" > "/dev/stderr"
            print suite name
        }' "$work/list" >> "$work/names" 2>> "$work/faults"
done
if LC_ALL=C grep -n '[^!-~]' "$work/names" > "$work/odd"; then
    sed 's/^/FAIL: not printable: /' "$work/odd" >> "$work/faults"
fi
sort "$work/names" | uniq -d | sed 's/^/FAIL: named twice: /' >> "$work/faults"
# gtest_discover_tests writes the names ctest runs into <program>[1]_tests.cmake.
find "$dir" -name '*_tests.cmake' -exec grep -l 'GetParam() =' {} + 2>/dev/null | sed 's/^/FAIL: ctest names print parameters: /' >> "$work/faults" || true

if [ -s "$work/faults" ]; then
    cat "$work/faults"
    status=1
fi
echo "$(wc -l < "$work/names") test names checked"
exit $status
