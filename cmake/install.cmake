# What `cmake --install` puts where (GNUInstallDirs under CMAKE_INSTALL_PREFIX)
# and the Debian package `cpack -G DEB` makes of it:
#   bin/                        tarnel, tarnel-dump, tarnel-mkobj, tarnel-elf2obj, tarnel-elf
#   share/man/man1/, man5/      the programs' man pages; the formats' page
#   share/tarnel/cmake/         the toolchain file and the link script it runs
#   share/doc/tarnel/           README.md, the docs, and examples/hello
include(GNUInstallDirs)

install(TARGETS tarnel tarnel-dump tarnel-mkobj tarnel-elf2obj tarnel-elf
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
file(GLOB _tarnel_man1 ${PROJECT_SOURCE_DIR}/man/*.1)
file(GLOB _tarnel_man5 ${PROJECT_SOURCE_DIR}/man/*.5)
install(FILES ${_tarnel_man1} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${_tarnel_man5} DESTINATION ${CMAKE_INSTALL_MANDIR}/man5)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/tarnel-coldfire.cmake ${PROJECT_SOURCE_DIR}/cmake/tarnel-link.cmake
        DESTINATION ${CMAKE_INSTALL_DATADIR}/tarnel/cmake)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
# the example without the clone's toolchain forwarder: an installed copy
# takes --toolchain PREFIX/share/tarnel/cmake/tarnel-coldfire.cmake
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/hello DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples
        PATTERN cmake EXCLUDE)
install(PROGRAMS ${PROJECT_SOURCE_DIR}/examples/hello/make-objects.sh
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples/hello)

set(CPACK_PACKAGE_NAME tarnel)
set(CPACK_PACKAGE_VENDOR "the tarnel developers")
set(CPACK_PACKAGE_CONTACT "the tarnel developers")
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
# programs are linked statically, so there are none
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gcc-m68k-linux-gnu, binutils-m68k-linux-gnu, gdb-multiarch, qemu-system-misc")
include(CPack)
