# Cross builds with Debian's cross compilers (package g++-<triple>); each
# machine's file names its triple and processor, then includes this one.
# The programs and tests then run under qemu-user, through binfmt_misc, with
# QEMU_LD_PREFIX=/usr/<triple> (scripts/test-cross.sh sets that up).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${SONO_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${SONO_TRIPLE}-g++)
# Headers and libraries of the target only; programs (mandoc, dpkg-deb) and
# CMake packages (GoogleTest, named through GTest_DIR) are looked up as usual.
set(CMAKE_FIND_ROOT_PATH /usr/${SONO_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
