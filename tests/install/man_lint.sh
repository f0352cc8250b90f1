#!/bin/sh
# mandoc MANDOC PAGE: the page must pass mandoc's lint without a warning.
mandoc=$1 page=$2
out=$("$mandoc" -T lint -W warning "$page" 2>&1)
status=$?
if [ -n "$out" ] || [ $status -ne 0 ]; then
    printf '%s\n' "$out"
    echo "FAIL: mandoc -T lint -W warning $page (status $status)"
    exit 1
fi
echo "ok: $page"
