# IBM Z, big-endian, 64-bit.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(SONO_TRIPLE s390x-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/cross.cmake)
