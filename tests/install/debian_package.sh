#!/bin/sh
# debian_package.sh CPACK BUILD_DIR "PROGRAMS" [CROSS [LINTIAN]]
# Builds the Debian package of the build, checks what it holds and has
# lintian check it.  CROSS is 1 for a build for another machine.
set -eu
cpack=$1 build=$2 programs=$3 cross=${4:-0} lintian=${5-}
work=$(mktemp -d "${TMPDIR:-/tmp}/sono-deb.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
command -v dpkg-deb > /dev/null 2>&1 || { echo "SKIP: dpkg-deb is not installed (Debian package dpkg)"; exit 77; }
command -v file > /dev/null 2>&1 || { echo "SKIP: file, which CPack runs, is not installed (Debian package file)"; exit 77; }

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

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' > "$work/contents"
has() { grep -qx "$1" "$work/contents" || fail "$1 is not in the package"; }
for p in $programs; do
    has "/usr/bin/$p"
    has "/usr/share/man/man1/$p.1.gz"
    has "/usr/share/bash-completion/completions/$p"
done
has /usr/share/man/man3/audiofile.3.gz
has /usr/include/sonosuite/audiofile.h
has /usr/share/bash-completion/completions/sonosuite
has /usr/share/doc/sonosuite/copyright
has /usr/share/doc/sonosuite/changelog.Debian.gz
grep -q '^/usr/lib/.*libaudiofile\.a$' "$work/contents" || fail "libaudiofile.a is not in the package"
for f in cmake/audiofile/audiofileConfig.cmake cmake/audiofile/audiofileConfigVersion.cmake \
         cmake/audiofile/audiofileTargets.cmake pkgconfig/sonosuite-audiofile.pc; do
    grep -q "^/usr/lib/.*$f\$" "$work/contents" || fail "$f is not in the package"
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
pc=$(find "$work/x" -name sonosuite-audiofile.pc)
grep -qx 'prefix=/usr' "$pc" || fail "sonosuite-audiofile.pc does not name /usr: $(grep '^prefix' "$pc")"

# No lintian error, and no warning but those doc/packaging.md lists with reasons.
# A package of a build for another machine is no package to ship: its
# programs name the cross compiler's loader and libraries to run here.
if [ "$cross" = 1 ]; then
    echo "lintian skipped: a build for another machine"
elif [ -n "$lintian" ]; then
    status=0
    "$lintian" --pedantic "$deb" > "$work/lintian" 2>&1 || status=$?
    cat "$work/lintian"
    [ $status -eq 0 ] || fail "lintian exits with $status"
    if grep -E '^[EW]: ' "$work/lintian" | grep -v -E ' (initial-upload-closes-no-bugs|pkg-config-unavailable-for-cross-compilation) '; then
        fail "lintian finds more than the known warnings"
    fi
else
    echo "skipped: no lintian"
fi
echo "ok: $(grep -c . "$work/contents") entries"
