# Toolchain file for ColdFire firmware linked with tarnel:
#   cmake -S SRC -B BUILD --toolchain cmake/tarnel-coldfire.cmake
# Sources compile with m68k-linux-gnu-gcc (assembly through the same driver),
# and tarnel_add_executable(NAME SOURCES...) converts each object with
# tarnel-elf2obj and links NAME.rom at TARNEL_ROM_ADDRESS, with NAME.s19,
# NAME.elf (tarnel-elf) and NAME.map beside it. The tarnel programs are found
# in TARNEL_BIN_DIR; else, for the installed file (PREFIX/share/tarnel/cmake),
# in PREFIX/bin, then on PATH; else, in a clone, on PATH, then in its build/.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR m68k)
set(TARNEL_CPU 5208 CACHE STRING "ColdFire model for -mcpu and tarnel-elf2obj --cpu")
set(TARNEL_ROM_ADDRESS 40000000 CACHE STRING "ROM start address (hexadecimal, no prefix)")
set(TARNEL_BIN_DIR "" CACHE PATH "Directory of tarnel, tarnel-elf and tarnel-elf2obj (default: PATH)")
set(TARNEL_CROSS_PREFIX m68k-linux-gnu- CACHE STRING "Prefix of the GNU ColdFire tools")

# the compiler driver runs the assembler of the same prefix, so both must be there
foreach(tool gcc as)
  string(TOUPPER "TARNEL_CROSS_${tool}" var)
  find_program(${var} ${TARNEL_CROSS_PREFIX}${tool})
  if(NOT ${var})
    message(FATAL_ERROR "${TARNEL_CROSS_PREFIX}${tool} not found on PATH: install gcc-m68k-linux-gnu and "
                        "binutils-m68k-linux-gnu, or set TARNEL_CROSS_PREFIX to the prefix of your ColdFire tools")
  endif()
endforeach()
set(CMAKE_C_COMPILER ${TARNEL_CROSS_GCC})
set(CMAKE_ASM_COMPILER ${TARNEL_CROSS_GCC})
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(CMAKE_C_FLAGS_INIT "-mcpu=${TARNEL_CPU}")
set(CMAKE_ASM_FLAGS_INIT "-mcpu=${TARNEL_CPU}")
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TARNEL_CPU TARNEL_CROSS_PREFIX)

set(_tarnel_link_script ${CMAKE_CURRENT_LIST_DIR}/tarnel-link.cmake)
if(CMAKE_CURRENT_LIST_DIR MATCHES "/share/tarnel/cmake$")
  # installed: the programs of the same install come first
  get_filename_component(_tarnel_prefix ${CMAKE_CURRENT_LIST_DIR}/../../.. ABSOLUTE)
  set(_tarnel_hint_dirs ${_tarnel_prefix}/bin)
else()
  # where this clone's own build puts the three programs
  set(_tarnel_build_dirs ${CMAKE_CURRENT_LIST_DIR}/../build ${CMAKE_CURRENT_LIST_DIR}/../build/tools/elf
      ${CMAKE_CURRENT_LIST_DIR}/../build/tools/elf2obj)
endif()

function(tarnel_add_executable name)
  foreach(tool tarnel tarnel-elf tarnel-elf2obj)
    string(MAKE_C_IDENTIFIER "TARNEL_PROGRAM_${tool}" var)
    if(TARNEL_BIN_DIR)
      find_program(${var} ${tool} PATHS ${TARNEL_BIN_DIR} NO_DEFAULT_PATH)
    else()
      find_program(${var} ${tool} HINTS ${_tarnel_hint_dirs} PATHS ${_tarnel_build_dirs})
    endif()
    if(NOT ${var})
      message(FATAL_ERROR "${tool} not found: build tarnel in build/ of this clone, set TARNEL_BIN_DIR to the directory of the tarnel programs, or put them on PATH")
    endif()
  endforeach()
  add_library(${name}_objects OBJECT ${ARGN})
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${name})
  add_custom_command(
    OUTPUT ${out}.rom ${out}.s19 ${out}.elf ${out}.map
    COMMAND ${CMAKE_COMMAND} -DELF2OBJ=${TARNEL_PROGRAM_tarnel_elf2obj} -DTARNEL=${TARNEL_PROGRAM_tarnel}
            -DTARNEL_ELF=${TARNEL_PROGRAM_tarnel_elf} -DCPU=${TARNEL_CPU} -DROM=${TARNEL_ROM_ADDRESS}
            -DOUT=${out} "-DOBJECTS=$<JOIN:$<TARGET_OBJECTS:${name}_objects>,|>" -P ${_tarnel_link_script}
    DEPENDS ${name}_objects $<TARGET_OBJECTS:${name}_objects> ${_tarnel_link_script}
    COMMAND_EXPAND_LISTS VERBATIM)
  add_custom_target(${name} ALL DEPENDS ${out}.rom)
endfunction()
