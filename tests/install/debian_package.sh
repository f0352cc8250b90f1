#!/bin/sh
# debian_package.sh CPACK BUILD_DIR "PROGRAMS" [CROSS]
# Builds the Debian package of the build and checks what it holds.  CROSS
# is 1 for a build for another machine.
set -eu
cpack=$1 build=$2 programs=$3 cross=${4:-0}
work=$(mktemp -d "${TMPDIR:-/tmp}/sono-deb.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work" > "$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    if [ "$cross" = 1 ] && grep -qE 'dpkg-shlibdeps: error: (cannot find library|no dependency information)' "$work/cpack.log"; then
        echo "SKIP: dpkg-shlibdeps cannot inspect the libraries of another machine"
        exit 77
    fi
    fail "cpack -G DEB"
fi
deb=$(ls "$work"/*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || { cat "$work/cpack.log"; fail "no .deb made"; }
echo "package: $(basename "$deb")"

dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|' > "$work/contents"
has() { grep -qx "$1" "$work/contents" || fail "$1 is not in the package"; }
for p in $programs; do
    has "/usr/bin/$p"
    has "/usr/share/man/man1/$p.1"
done
has /usr/share/man/man3/audiofile.3
has /usr/include/sonosuite/audiofile.h
grep -q '^/usr/lib/.*libaudiofile\.a$' "$work/contents" || fail "libaudiofile.a is not in the package"
for f in audiofileConfig.cmake audiofileConfigVersion.cmake audiofileTargets.cmake; do
    grep -q "^/usr/lib/.*cmake/audiofile/$f\$" "$work/contents" || fail "$f is not in the package"
done
# Nothing of the build tree or the tests travels with it.
if grep -E 'test|/tmp/|_lib' "$work/contents"; then fail "unexpected files in the package"; fi

dpkg-deb -f "$deb" Package Version Architecture > "$work/fields"
grep -qx 'Package: sonosuite' "$work/fields" || fail "package name: $(cat "$work/fields")"
grep -q '^Version: [0-9]' "$work/fields" || fail "no version"
dpkg-deb -f "$deb" Depends | grep -q libc6 || fail "the package does not depend on libc6"

# The packaged library still has its symbols (stripping must spare it).
mkdir "$work/x"
dpkg-deb -x "$deb" "$work/x"
a=$(find "$work/x" -name libaudiofile.a | head -n 1)
nm "$a" 2>/dev/null | grep -q ' T .*open_audio_file' || fail "libaudiofile.a in the package has lost its symbols"
echo "ok: $(grep -c . "$work/contents") entries"
