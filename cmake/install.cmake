# Installation (`make install PREFIX=...`), the CMake and pkg-config
# packages that let other projects use the library, and the Debian package
# of CPack.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(SONO_PROGRAMS sonomorph tonesmith pcmwrap pcmpeel burstpick framesnip chunksnip)

# Programs and their pages: only those that are built, so that a tree in
# which a program is still missing installs the rest.
foreach(program ${SONO_PROGRAMS})
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    if(EXISTS ${PROJECT_SOURCE_DIR}/man/${program}.1)
      install(FILES ${PROJECT_SOURCE_DIR}/man/${program}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    endif()
  endif()
endforeach()

# The header gets a folder of its own: /usr/include/audiofile.h belongs to
# an unrelated library of the same name, whose package must stay installable
# beside ours.  Code includes "audiofile.h" alike in the tree and installed,
# or <sonosuite/audiofile.h> where installed.
set(SONO_HEADER_DIR ${CMAKE_INSTALL_INCLUDEDIR}/sonosuite)
set(SONO_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/audiofile)

# The library's include folder is a source path, which an installed package
# must not carry; it counts for builds in this tree only.
get_target_property(_sono_includes audiofile INTERFACE_INCLUDE_DIRECTORIES)
set(_sono_build_includes "")
foreach(dir ${_sono_includes})
  if(dir MATCHES "^\\$<")
    list(APPEND _sono_build_includes "${dir}")
  else()
    list(APPEND _sono_build_includes "$<BUILD_INTERFACE:${dir}>")
  endif()
endforeach()
set_target_properties(audiofile PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${_sono_build_includes}")

install(TARGETS audiofile EXPORT audiofileTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${SONO_HEADER_DIR} ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/audiofile/audiofile.h DESTINATION ${SONO_HEADER_DIR})
if(EXISTS ${PROJECT_SOURCE_DIR}/man/audiofile.3)
  install(FILES ${PROJECT_SOURCE_DIR}/man/audiofile.3 DESTINATION ${CMAKE_INSTALL_MANDIR}/man3)
endif()

# pkg-config: written when installing, so that it names the prefix the files
# went to (`cmake --install --prefix` may choose another than configured).
install(CODE "
  set(PROJECT_VERSION ${PROJECT_VERSION})
  set(SONO_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR})
  set(SONO_LIBDIR ${CMAKE_INSTALL_LIBDIR})
  configure_file(${CMAKE_CURRENT_LIST_DIR}/sonosuite-audiofile.pc.in
                 ${PROJECT_BINARY_DIR}/sonosuite-audiofile.pc @ONLY)
")
install(FILES ${PROJECT_BINARY_DIR}/sonosuite-audiofile.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(EXPORT audiofileTargets NAMESPACE audiofile:: DESTINATION ${SONO_PACKAGE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/audiofileConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/audiofileConfig.cmake
                              INSTALL_DESTINATION ${SONO_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/audiofileConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/audiofileConfig.cmake ${PROJECT_BINARY_DIR}/audiofileConfigVersion.cmake
        DESTINATION ${SONO_PACKAGE_DIR})

# `make package`: one Debian package with the programs, the pages, the
# library with its CMake and pkg-config packages, installed under /usr.
set(SONO_PACKAGE_CONTACT "sonosuite maintainers <sonosuite@localhost>"
    CACHE STRING "Maintainer named in the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sonosuite)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${SONO_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "command-line tools for audio files, test signals and compressed audio bitstreams")
set(CPACK_PACKAGE_DESCRIPTION
    "sonomorph converts audio files between SUN, WAVE, AIFF, AIFC, SPW and ILS types;
tonesmith makes sines and sweeps; pcmwrap and pcmpeel move headerless samples
in and out of audio files; burstpick extracts AC-3, MPEG audio and DTS streams
from IEC 61937 data bursts; framesnip and chunksnip cut MPEG audio and MPEG-2
extension bitstreams by frame number.  Includes the static library audiofile
with its header, CMake package (find_package(audiofile)) and pkg-config
file (sonosuite-audiofile).")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_STRIP_FILES ON)
find_program(SONO_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(SONO_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6")
endif()
include(CPack)
