#!/bin/sh
# man_options.sh PAGE SOURCES...: the option letters of the get_option call in
# the program's sources and the options listed in the page's OPTIONS section
# (the tags of its .TP items, written ".B \-x" or ".BI \-x ...") must be
# the same set.
page=$1
shift
spec=$(sh "$(dirname "$0")/option_spec.sh" "$@")
if [ -z "$spec" ]; then
    echo "FAIL: no get_option specification found in $*"
    exit 1
fi
accepted=$(printf '%s' "$spec" | tr -d ':' | fold -w 1 | LC_ALL=C sort | tr -d '\n')
documented=$(sed -n '/^\.SH OPTIONS/,/^\.SH /p' "$page" \
    | awk 'tag && /^\.BI? \\-[A-Za-z0-9]/ { print substr($2, 3, 1) } { tag = ($0 == ".TP") }' \
    | LC_ALL=C sort -u | tr -d '\n')
echo "accepted (from \"$spec\"): $accepted"
echo "documented in $(basename "$page"): $documented"
if [ "$accepted" != "$documented" ]; then
    echo "FAIL: the options of the program and of its page differ"
    exit 1
fi
echo "ok"
