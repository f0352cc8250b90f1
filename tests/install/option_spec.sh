#!/bin/sh
# option_spec.sh SOURCES...: the option letters of the first get_option call
# in the sources, as that call gives them ("c:f:t:o:hn").
cat "$@" | tr '\n' ' ' | grep -o 'get_option([^)]*"[^"]*")' | head -n 1 | sed 's/.*"\([^"]*\)".*/\1/'
