# What `cmake --install` puts where (GNUInstallDirs under CMAKE_INSTALL_PREFIX)
# and the Debian package `cpack -G DEB` makes of it:
#   bin/                        tarnel, tarnel-dump, tarnel-mkobj, tarnel-elf2obj, tarnel-elf
#   share/man/man1/, man5/      the programs' man pages; the formats' page (gzipped)
#   share/tarnel/cmake/         the toolchain file and the link script it runs
#   share/tarnel/runtime/       the ColdFire runtime library the toolchain file links
#   share/doc/tarnel/           README.md, the docs, and examples/hello
include(GNUInstallDirs)

# tarnel is stripped with GNU strip where there is one: llvm-strip 14
# cannot strip a static glibc program, and the package would hold it whole
find_program(TARNEL_GNU_STRIP NAMES strip)
if(TARNEL_GNU_STRIP)
  set(CMAKE_STRIP ${TARNEL_GNU_STRIP})
endif()
install(TARGETS tarnel tarnel-dump tarnel-mkobj tarnel-elf2obj tarnel-elf
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
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
# the example without the clone's toolchain forwarder: an installed copy
# takes --toolchain PREFIX/share/tarnel/cmake/tarnel-coldfire.cmake
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/hello DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples
        PATTERN cmake EXCLUDE)
install(PROGRAMS ${PROJECT_SOURCE_DIR}/examples/hello/make-objects.sh
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples/hello)

# tarnel is static on purpose; Debian's checker is told so
install(FILES ${PROJECT_SOURCE_DIR}/cmake/lintian-overrides RENAME tarnel
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides)

set(TARNEL_PACKAGE_CONTACT "the tarnel developers" CACHE STRING
    "The package's Maintainer field; Debian wants \"Name <address>\"")
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
objdump and nm. A CMake toolchain file builds firmware with them.")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# the dependencies are read off the installed programs (dpkg-shlibdeps): the
# C library only
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gcc-m68k-linux-gnu, binutils-m68k-linux-gnu, gdb-multiarch, qemu-system-misc")
include(CPack)
