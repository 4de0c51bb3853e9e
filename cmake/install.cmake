# What `cmake --install` puts where (GNUInstallDirs under CMAKE_INSTALL_PREFIX)
# and the Debian package `cpack -G DEB` makes of it:
#   bin/                        tarnel, tarnel-dump, tarnel-mkobj, tarnel-elf2obj, tarnel-elf,
#                               tarnel-size-diff
#   share/man/man1/, man5/      the programs' man pages; the formats' page (gzipped)
#   share/tarnel/cmake/         the toolchain file and the link script it runs
#   share/tarnel/runtime/       the ColdFire runtime library the toolchain file links
#   share/doc/tarnel/           README.md, LICENSE, the docs, and examples/hello
# and the package alone, in share/doc/tarnel/, Debian's copyright file (the
# licence in its machine-readable form) and changelog.Debian.gz
include(GNUInstallDirs)

# tarnel is stripped with GNU strip where there is one: llvm-strip 14
# cannot strip a static glibc program, and the package would hold it whole
find_program(TARNEL_GNU_STRIP NAMES strip)
if(TARNEL_GNU_STRIP)
  set(CMAKE_STRIP ${TARNEL_GNU_STRIP})
endif()
install(TARGETS tarnel tarnel-dump tarnel-mkobj tarnel-elf2obj tarnel-elf tarnel-size-diff
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# man pages are installed compressed, as man reads them everywhere and
# Debian wants them (gzip -9n: no name or time stamp, so the bytes repeat)
find_program(TARNEL_GZIP gzip REQUIRED)
foreach(section 1 5)
  file(GLOB _tarnel_pages CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/man/*.${section})
  set(_tarnel_gz)
  foreach(page ${_tarnel_pages})
    get_filename_component(name ${page} NAME)
    set(gz ${PROJECT_BINARY_DIR}/man/${name}.gz)
    add_custom_command(OUTPUT ${gz} COMMAND ${TARNEL_GZIP} -9n -c ${page} > ${gz} DEPENDS ${page} VERBATIM)
    list(APPEND _tarnel_gz ${gz})
  endforeach()
  add_custom_target(tarnel_man${section} ALL DEPENDS ${_tarnel_gz})
  install(FILES ${_tarnel_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/cmake/tarnel-coldfire.cmake ${PROJECT_SOURCE_DIR}/cmake/tarnel-link.cmake
        DESTINATION ${CMAKE_INSTALL_DATADIR}/tarnel/cmake)
# the committed build of runtime/, so that installing needs no cross compiler
install(FILES ${PROJECT_SOURCE_DIR}/runtime/tarnel-runtime.lib DESTINATION ${CMAKE_INSTALL_DATADIR}/tarnel/runtime)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
# the example without the clone's toolchain forwarder: an installed copy
# takes --toolchain PREFIX/share/tarnel/cmake/tarnel-coldfire.cmake
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/hello DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples
        PATTERN cmake EXCLUDE)
install(PROGRAMS ${PROJECT_SOURCE_DIR}/examples/hello/make-objects.sh
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples/hello)

# what Debian's checker is told to expect, each tag with its reason
install(FILES ${PROJECT_SOURCE_DIR}/cmake/lintian-overrides RENAME tarnel
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides)

set(_tarnel_contact "tarnel developers <tarnel@users.noreply.github.com>")
set(TARNEL_PACKAGE_CONTACT ${_tarnel_contact} CACHE STRING
    "The package's Maintainer field; Debian wants \"Name <address>\"")
# a build folder configured before the default had an address still holds
# the old default, which Debian rejects
if(TARNEL_PACKAGE_CONTACT STREQUAL "the tarnel developers")
  set_property(CACHE TARNEL_PACKAGE_CONTACT PROPERTY VALUE ${_tarnel_contact})
  set(TARNEL_PACKAGE_CONTACT ${_tarnel_contact})
endif()
if(NOT TARNEL_PACKAGE_CONTACT MATCHES "^[^<>@]+ <[^<>@ ]+@[^<>@ ]+>$")
  message(FATAL_ERROR "TARNEL_PACKAGE_CONTACT must read \"Name <address>\": ${TARNEL_PACKAGE_CONTACT}")
endif()

# What Debian wants of every package beside the programs, installed as the
# component "debian", which a plain install leaves out and the package takes:
# the copyright file, its licence text read from LICENSE (the lines after the
# copyright line, each indented by a space, an empty one written "."), and
# the changelog, gzipped like the man pages.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE _tarnel_license)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
string(REGEX REPLACE "^.*\nCopyright [^\n]*\n" "" TARNEL_LICENSE_TERMS "${_tarnel_license}")
string(STRIP "${TARNEL_LICENSE_TERMS}" TARNEL_LICENSE_TERMS)
string(REPLACE "\n\n" "\n.\n" TARNEL_LICENSE_TERMS "${TARNEL_LICENSE_TERMS}")
string(REPLACE "\n" "\n " TARNEL_LICENSE_TERMS " ${TARNEL_LICENSE_TERMS}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/copyright.in ${PROJECT_BINARY_DIR}/debian/copyright @ONLY)
set(_tarnel_changelog ${PROJECT_BINARY_DIR}/debian/changelog.Debian.gz)
add_custom_command(OUTPUT ${_tarnel_changelog}
                   COMMAND ${TARNEL_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/cmake/debian/changelog > ${_tarnel_changelog}
                   DEPENDS ${PROJECT_SOURCE_DIR}/cmake/debian/changelog VERBATIM)
add_custom_target(tarnel_debian_changelog ALL DEPENDS ${_tarnel_changelog})
install(FILES ${PROJECT_BINARY_DIR}/debian/copyright ${_tarnel_changelog}
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT debian EXCLUDE_FROM_ALL)
set(CPACK_PACKAGE_NAME tarnel)
set(CPACK_PACKAGE_VENDOR "the tarnel developers")
set(CPACK_PACKAGE_CONTACT ${TARNEL_PACKAGE_CONTACT})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "linker for ColdFire object modules")
set(CPACK_PACKAGE_DESCRIPTION
    "tarnel links ColdFire object modules in a big-endian chunk format into a
relocatable executable, a raw ROM image, Motorola S-records, an embedded
object that can be linked again, or a library, and prints build information,
a size summary and a link map. tarnel-dump and tarnel-mkobj show and build
object files as text; tarnel-elf2obj converts ELF objects from the GNU
ColdFire tools; tarnel-elf writes a link as an ELF executable for gdb,
objdump and nm; tarnel-size-diff shows what grew and shrank between two
links. A CMake toolchain file builds firmware with them.")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# the package's own revision: its changelog.Debian.gz names PROJECT_VERSION-1
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# the whole install and, on top of it, the component only the package takes
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};tarnel;ALL;/;${PROJECT_BINARY_DIR};tarnel;debian;/")
# the dependencies are read off the installed programs (dpkg-shlibdeps): the
# C library only
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gcc-m68k-linux-gnu, binutils-m68k-linux-gnu, gdb-multiarch, qemu-system-misc")
include(CPack)
