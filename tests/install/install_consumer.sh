#!/bin/sh
# install_consumer.sh CMAKE BUILD_DIR CONSUMER_SOURCE CXX [TOOLCHAIN_FILE [PKG_CONFIG [BASH_COMPLETION]]]
# Installs the build into a scratch prefix, builds a program against the
# installed library through find_package(audiofile) and through pkg-config,
# and runs it together with installed programs on the files they make for
# each other; bash-completion finds the programs' completion there.
set -eu
cmake=$1 build=$2 consumer=$3 cxx=$4 toolchain=${5:-} pkgconfig=${6-} bash_completion=${7-}
work=$(mktemp -d "${TMPDIR:-/tmp}/sono-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
fail() { echo "FAIL: $*"; exit 1; }

"$cmake" --install "$build" --prefix "$prefix" > "$work/install.log" || { cat "$work/install.log"; fail "cmake --install"; }

# The layout a user of the package relies on.
for f in bin/sonomorph bin/tonesmith share/man/man1/sonomorph.1.gz share/man/man1/tonesmith.1.gz \
         share/man/man3/audiofile.3.gz include/sonosuite/audiofile.h lib/pkgconfig/sonosuite-audiofile.pc \
         share/bash-completion/completions/sonosuite share/doc/sonosuite/copyright; do
    [ -f "$prefix/$f" ] || fail "$f is not installed"
done
lib=$(find "$prefix" -name libaudiofile.a | head -n 1)
[ -n "$lib" ] || fail "libaudiofile.a is not installed"
config=$(find "$prefix" -name audiofileConfig.cmake | head -n 1)
[ -n "$config" ] || fail "audiofileConfig.cmake is not installed"
[ -f "$(dirname "$config")/audiofileConfigVersion.cmake" ] || fail "audiofileConfigVersion.cmake is not installed"
# Every installed program has its page and its completion.
for p in "$prefix"/bin/*; do
    [ -f "$prefix/share/man/man1/$(basename "$p").1.gz" ] || fail "no page for $(basename "$p")"
    [ -f "$prefix/share/bash-completion/completions/$(basename "$p")" ] || fail "no completion for $(basename "$p")"
done

# A project of its own, found through the prefix only.  The build tree is
# not on any path it sees.
"$cmake" -S "$consumer" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_CXX_COMPILER="$cxx" ${toolchain:+"-DCMAKE_TOOLCHAIN_FILE=$toolchain"} -DCMAKE_BUILD_TYPE=Release \
    > "$work/configure.log" 2>&1 \
    || { cat "$work/configure.log"; fail "configuring the consumer"; }
"$cmake" --build "$work/consumer" > "$work/build.log" 2>&1 || { cat "$work/build.log"; fail "building the consumer"; }
run=$work/consumer/consumer
cd "$work"

# The consumer writes a WAVE file through the library; installed programs
# convert it; the consumer reads what they made.
"$run" write ramp.wav || fail "consumer write"
out=$("$run" read ramp.wav) || fail "consumer read ramp.wav"
[ "$out" = "channels 2 sfreq 44100 frames 100 type 17 ramp ok" ] || fail "read back: $out"

[ "$("$run" type aiff_24)" = 4 ] || fail "consumer type aiff_24: $("$run" type aiff_24)"

"$prefix/bin/sonomorph" -t aiff_24 -o ramp.aif ramp.wav 2> sonomorph.err || { cat sonomorph.err; fail "installed sonomorph"; }
out=$("$run" read ramp.aif) || fail "consumer read ramp.aif"
[ "$out" = "channels 2 sfreq 44100 frames 100 type 4 ramp ok" ] || fail "after sonomorph -t aiff_24: $out"

"$prefix/bin/tonesmith" -c 2 -n 4800 -t sun_16 2>/dev/null | "$prefix/bin/sonomorph" -t wave_24 -n > tone.wav 2> /dev/null \
    || fail "installed tonesmith | sonomorph"
out=$("$run" read tone.wav) || fail "consumer read tone.wav"
case $out in
    "channels 2 sfreq 48000 frames 4800 type 18 "*) ;;
    *) fail "tonesmith | sonomorph: $out" ;;
esac

# The same program built by hand with what pkg-config says, as a project
# without CMake builds it.
if [ -n "$pkgconfig" ]; then
    export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
    pc_prefix=$("$pkgconfig" --variable=prefix sonosuite-audiofile) || fail "pkg-config sonosuite-audiofile"
    [ "$pc_prefix" = "$prefix" ] || fail "sonosuite-audiofile.pc names the prefix $pc_prefix"
    # shellcheck disable=SC2046
    "$cxx" -std=c++17 -Wall -Wextra -Wpedantic -Werror -o pc_consumer "$consumer/main.cpp" "$consumer/folder.cpp" \
        $("$pkgconfig" --cflags --libs sonosuite-audiofile) || fail "building with pkg-config"
    ./pc_consumer write pc.wav && out=$(./pc_consumer read pc.wav) || fail "pkg-config consumer"
    [ "$out" = "channels 2 sfreq 44100 frames 100 type 17 ramp ok" ] || fail "pkg-config consumer read back: $out"
else
    echo "skipped: no pkg-config"
fi

# bash-completion loads each program's completion from the prefix by name.
if [ -n "$bash_completion" ]; then
    for p in "$prefix"/bin/*; do
        p=$(basename "$p")
        out=$(XDG_DATA_DIRS="$prefix/share" bash -c '. "$1" && __load_completion "$2" && complete -p "$2"' \
              sh "$bash_completion" "$p" 2>&1) || true
        [ "$out" = "complete -F _sonosuite $p" ] || fail "bash-completion on $p: $out"
    done
else
    echo "skipped: no bash-completion"
fi

# man finds the installed pages through the prefix.
if command -v man > /dev/null 2>&1; then
    found=$(MANPATH="$prefix/share/man" man -w sonomorph 2>/dev/null) || fail "man -w sonomorph"
    [ "$found" = "$prefix/share/man/man1/sonomorph.1.gz" ] || fail "man -w sonomorph gave $found"
fi
echo "ok: installed to $prefix, consumer built with find_package(audiofile) and pkg-config and run"
