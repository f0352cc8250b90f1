# Installation (`make install PREFIX=...`), the CMake and pkg-config
# packages that let other projects use the library, bash completion, and the
# Debian package of CPack.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(SONO_PROGRAMS sonomorph tonesmith pcmwrap pcmpeel burstpick framesnip chunksnip)
set(SONO_COMPLETION_DIR ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# Manual pages and the Debian changelog are installed compressed, as man
# reads them and Debian wants them: gzip -9n, best compression without name
# or time, so that two builds give the same bytes.
find_program(SONO_GZIP gzip REQUIRED)
set(SONO_GZIPPED "")
# sono_gzip(<file> <copy in the build tree>): <copy>.gz, made at build time.
function(sono_gzip source copy)
  add_custom_command(OUTPUT ${copy}.gz
                     COMMAND ${CMAKE_COMMAND} -E copy ${source} ${copy}
                     COMMAND ${SONO_GZIP} -9nf ${copy}
                     DEPENDS ${source} VERBATIM)
  set(SONO_GZIPPED ${SONO_GZIPPED} ${copy}.gz PARENT_SCOPE)
endfunction()
# sono_install_page(<name.section>)
function(sono_install_page page)
  string(REGEX MATCH "[0-9]$" section ${page})
  if(EXISTS ${PROJECT_SOURCE_DIR}/man/${page})
    sono_gzip(${PROJECT_SOURCE_DIR}/man/${page} ${PROJECT_BINARY_DIR}/man/${page})
    set(SONO_GZIPPED ${SONO_GZIPPED} PARENT_SCOPE)
    install(FILES ${PROJECT_BINARY_DIR}/man/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
  endif()
endfunction()

# One completion file serves every program; bash-completion loads it by the
# program's name, which links to it.
install(FILES ${PROJECT_SOURCE_DIR}/completions/sonosuite.bash DESTINATION ${SONO_COMPLETION_DIR} RENAME sonosuite)
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/completions)

# Programs, their pages and completion links: only those that are built, so
# that a tree in which a program is still missing installs the rest.
foreach(program ${SONO_PROGRAMS})
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    sono_install_page(${program}.1)
    file(CREATE_LINK sonosuite ${PROJECT_BINARY_DIR}/completions/${program} SYMBOLIC)
    install(FILES ${PROJECT_BINARY_DIR}/completions/${program} DESTINATION ${SONO_COMPLETION_DIR})
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
sono_install_page(audiofile.3)

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
# library with its CMake and pkg-config packages, and the completion,
# installed under /usr.
set(SONO_DEBIAN_MAINTAINER "sonosuite maintainers <maintainers@sonosuite.example>"
    CACHE STRING "Maintainer named in the Debian package and its changelog")
set(SONO_DEBIAN_RELEASE 1)
set(SONO_DEBIAN_VERSION ${PROJECT_VERSION}-${SONO_DEBIAN_RELEASE})

# The licence file of the package in Debian's machine-readable form, made
# from LICENSE: its first line is the copyright notice, the rest its terms.
set(SONO_LICENCE_NAME Expat)  # Debian's name for the MIT licence
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
if(NOT licence MATCHES "^Copyright \\(c\\) ([^\n]*)\n\n(.*)$")
  message(FATAL_ERROR "LICENSE does not begin with a line \"Copyright (c) <years> <holders>\"")
endif()
set(SONO_COPYRIGHT "${CMAKE_MATCH_1}")
string(STRIP "${CMAKE_MATCH_2}" licence)
string(REPLACE "\n\n" "\n.\n" licence "${licence}")  # an empty line is " ."
string(REPLACE "\n" "\n " SONO_LICENCE_TEXT " ${licence}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/copyright.in ${PROJECT_BINARY_DIR}/debian/copyright @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The Debian changelog goes into the package only.
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in ${PROJECT_BINARY_DIR}/debian/changelog.Debian @ONLY)
sono_gzip(${PROJECT_BINARY_DIR}/debian/changelog.Debian ${PROJECT_BINARY_DIR}/debian/gz/changelog.Debian)
install(FILES ${PROJECT_BINARY_DIR}/debian/gz/changelog.Debian.gz DESTINATION ${CMAKE_INSTALL_DOCDIR}
        COMPONENT debian EXCLUDE_FROM_ALL)
add_custom_target(sono_gzipped ALL DEPENDS ${SONO_GZIPPED})

set(CPACK_GENERATOR DEB)
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};ALL;/"
                                 "${PROJECT_BINARY_DIR};${PROJECT_NAME};debian;/")
set(CPACK_PACKAGE_NAME sonosuite)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${SONO_DEBIAN_RELEASE})
set(CPACK_PACKAGE_CONTACT "${SONO_DEBIAN_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tools for audio files, test signals and compressed audio bitstreams")
set(CPACK_PACKAGE_DESCRIPTION
    "sonomorph converts audio files between SUN, WAVE, AIFF, AIFC, SPW and ILS
types; tonesmith makes sines and sweeps; pcmwrap and pcmpeel move headerless
samples in and out of audio files; burstpick extracts AC-3, E-AC-3, MPEG audio,
AAC, DTS and TrueHD streams from IEC 61937 data bursts; framesnip and chunksnip
cut MPEG audio and MPEG-2 extension bitstreams by frame number.
.
Includes the static library audiofile with its header, CMake package
(find_package(audiofile)) and pkg-config file (sonosuite-audiofile).")
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
