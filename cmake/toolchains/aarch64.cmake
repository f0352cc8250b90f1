# 64-bit ARM, little-endian.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(SONO_TRIPLE aarch64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/cross.cmake)
