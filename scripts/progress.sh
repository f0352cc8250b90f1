# Sourced by the scripts that run long, chatty commands (the build, apt-get).
#
# progress NOISE [EVERY]: copies standard input to standard output, except
# the lines matching the extended regular expression NOISE: on a terminal
# they take turns on one line that is rewritten in place; elsewhere (a log)
# only the first of every EVERY (default 10; 0: none) is kept.  Every other
# line, such as a compiler's error, is shown in full.
progress() {
    local noise=$1 every=${2:-10} line width=80 count=0 open=0 tty=0
    if [ -t 1 ]; then
        tty=1
        width=$(stty size 2>/dev/null < /dev/tty | cut -d' ' -f2) || true
        [ -n "$width" ] && [ "$width" -gt 1 ] || width=80
    fi
    while IFS= read -r line; do
        if [[ $line =~ $noise ]]; then
            if [ $tty = 1 ]; then
                printf '\r\033[K%s' "${line:0:$((width - 1))}"
                open=1
            elif [ "$every" -gt 0 ] && [ $((count % every)) = 0 ]; then
                printf '%s\n' "$line"
            fi
            count=$((count + 1))
        else
            [ $open = 1 ] && printf '\r\033[K'
            open=0
            printf '%s\n' "$line"
        fi
    done
    if [ $open = 1 ]; then printf '\r\033[K'; fi
}
