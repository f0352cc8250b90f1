#!/usr/bin/env bash
# need.sh GROUP...: installs what the groups of scripts/packages name and
# this machine lacks, with apt-get: directly as root, through sudo otherwise
# (naming the packages first).  Without either it stops at once and prints
# the apt-get line to run.  What is there is found by a look at PATH or at a
# file (or one dpkg-query), so a second run installs and prints nothing.
#
# SONO_APT=no installs nothing: a missing package stops the run, except the
# peers (group peer), whose tests then skip.  need.sh --missing GROUP...
# only prints the missing packages of the groups on one line.
set -euo pipefail
HERE=$(dirname "$(readlink -f "$0")")
source "$HERE/progress.sh"
list_only=0
if [ "${1:-}" = --missing ]; then
    list_only=1
    shift
fi
[ $# -gt 0 ] || { echo "usage: need.sh [--missing] GROUP..." >&2; exit 2; }

present() {  # present PACKAGE [PROGRAM | /PATH]
    case ${2:-} in
        /*) [ -e "$2" ] ;;
        '') [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ] ;;
        *) command -v "$2" > /dev/null 2>&1 ;;
    esac
}

missing=()
required=()  # of them, those a group other than peer asks for
lacking() {  # the packages of the asked groups that are missing, into missing and required
    missing=() required=()
    local groups package what group want
    while read -r groups package what; do
        case $groups in '' | '#'*) continue ;; esac
        local asked=0 peer_only=1
        for group in ${groups//,/ }; do
            for want in "$@"; do
                if [ "$group" = "$want" ]; then
                    asked=1
                    [ "$group" = peer ] || peer_only=0
                fi
            done
        done
        if [ $asked = 1 ] && ! present "$package" "$what"; then
            missing+=("$package")
            [ $peer_only = 1 ] || required+=("$package")
        fi
    done < "$HERE/packages"
}

lacking "$@"
if [ $list_only = 1 ]; then
    echo "${missing[*]}"
    exit 0
fi
[ ${#missing[@]} -eq 0 ] && exit 0
line="apt-get install -y --no-install-recommends ${missing[*]}"

if [ "${SONO_APT:-yes}" = no ]; then
    if [ ${#required[@]} -gt 0 ]; then
        echo "need.sh: missing: ${required[*]}; as root: $line" >&2
        exit 1
    fi
    echo "need.sh: not installed, their tests will skip: ${missing[*]}"
    exit 0
fi
if ! command -v apt-get > /dev/null 2>&1; then
    echo "need.sh: missing (Debian's names): ${missing[*]}; install them and run again" >&2
    exit 1
fi
if [ "$(id -u)" = 0 ]; then
    as_root=()
elif command -v sudo > /dev/null 2>&1; then
    as_root=(sudo)
    echo "need.sh: installing with sudo: ${missing[*]}"
else
    echo "need.sh: missing: ${missing[*]}; installing them needs root:" >&2
    echo "  $line" >&2
    exit 1
fi

log=$(mktemp "${TMPDIR:-/tmp}/sono-apt.XXXXXX")
apt() {  # apt ARGS...: apt-get quietly, its output kept in $log
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get "$@" < /dev/null 2>&1 | tee -a "$log" | progress "^" 0
}
started=$(date +%s)
echo "need.sh: installing ${missing[*]} and what they depend on (apt-get)"
# Package lists of a fresh machine are empty; stale ones name versions the
# mirror no longer has, which the retry after an update mends.
if ! ls /var/lib/apt/lists/*_Packages* > /dev/null 2>&1; then
    apt update || true
fi
# dpkg syncs every file it unpacks, most of the time of a first install.
# Where no installed package is replaced (apt's simulation shows none with
# its old version in brackets), a crash could harm only the packages being
# added, which a reinstall mends: then the syncs are left out.
install() {
    local io=()
    if ! apt-get -s install --no-install-recommends "${missing[@]}" 2> /dev/null | grep -q '^Inst [^ ]* \['; then
        io=(-o Dpkg::Options::=--force-unsafe-io)
    fi
    apt install -y --no-install-recommends "${io[@]}" "${missing[@]}"
}
if ! install; then
    apt update || true
    if ! install; then
        tail -n 30 "$log" >&2
        echo "need.sh: apt-get failed; its whole output is in $log" >&2
        exit 1
    fi
fi
lacking "$@"
if [ ${#missing[@]} -gt 0 ]; then
    echo "need.sh: still missing after apt-get: ${missing[*]} (output in $log)" >&2
    exit 1
fi
rm -f "$log"
echo "need.sh: installed in $(($(date +%s) - started)) s"
