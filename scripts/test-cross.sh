#!/usr/bin/env bash
# test-cross.sh ARCH: builds GoogleTest and the project with Debian's cross
# compiler for ARCH (s390x, aarch64 or i686) and runs the whole test suite on
# that machine: under qemu-user for s390x and aarch64, and for i686 on the
# x86-64 processor itself, whose x87 unit then does the arithmetic.  The
# tests that call peers (sox, ffmpeg, ...) call the host's.
set -euo pipefail
arch=${1:-}
cd "$(dirname "$0")/.."
case $arch in
    s390x | aarch64) triple=$arch-linux-gnu emulator=qemu-$arch ;;
    i686) triple=i686-linux-gnu emulator= ;;
    *) echo "usage: test-cross.sh s390x|aarch64|i686" >&2; exit 2 ;;
esac
jobs=${JOBS:-2}
toolchain=$PWD/cmake/toolchains/$arch.cmake
build=$PWD/build-cross-$arch
gtest=$PWD/build-cross-$arch-gtest
started=$(date +%s)

command -v "$triple-g++" > /dev/null || { echo "test-cross.sh: $triple-g++ is missing (package g++-$triple)" >&2; exit 1; }

if [ -n "$emulator" ]; then
    # The kernel hands the foreign programs to qemu (binfmt_misc); qemu takes
    # their loader and libraries from the cross compiler's tree.
    [ -x "/usr/bin/$emulator-static" ] || { echo "test-cross.sh: $emulator-static is missing (package qemu-user-static)" >&2; exit 1; }
    [ -e /proc/sys/fs/binfmt_misc/status ] || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    grep -qx enabled "/proc/sys/fs/binfmt_misc/$emulator" 2> /dev/null || update-binfmts --enable "$emulator"
    export QEMU_LD_PREFIX=/usr/$triple
else
    # The kernel must run 32-bit x86 programs (IA-32 emulation).
    probe=$(mktemp -d)
    trap 'rm -rf "$probe"' EXIT
    echo 'int main() { return 0; }' > "$probe/probe.cpp"
    "$triple-g++" -static -o "$probe/probe" "$probe/probe.cpp"
    "$probe/probe" || { echo "test-cross.sh: this kernel does not run 32-bit x86 programs" >&2; exit 1; }
fi

# GoogleTest from Debian's sources, built once per machine.
if [ ! -f "$gtest/prefix/lib/cmake/GTest/GTestConfig.cmake" ]; then
    cmake -S /usr/src/googletest -B "$gtest/build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
        -DBUILD_GMOCK=OFF -DCMAKE_INSTALL_PREFIX="$gtest/prefix" -DCMAKE_INSTALL_LIBDIR=lib > /dev/null
    cmake --build "$gtest/build" -j "$jobs"
    cmake --install "$gtest/build" > /dev/null
fi

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DGTest_DIR="$gtest/prefix/lib/cmake/GTest"
cmake --build "$build" -j "$jobs"
status=0
ctest --test-dir "$build" -j "$jobs" --output-on-failure || status=$?
echo "test-cross $arch: $(($(date +%s) - started)) s"
exit $status
