# 32-bit x86 at Debian's i386 baseline: no SSE2, so doubles are computed on
# the x87 unit.  An x86-64 processor runs these programs itself; they take
# their loader and libraries from the cross compiler's tree, so no i386
# packages need to be installed.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(SONO_TRIPLE i686-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/cross.cmake)
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-Wl,--dynamic-linker=/usr/${SONO_TRIPLE}/lib/ld-linux.so.2 -Wl,-rpath,/usr/${SONO_TRIPLE}/lib")
