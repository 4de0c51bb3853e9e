# Toolchain file for ColdFire firmware linked with tarnel:
#   cmake -S SRC -B BUILD --toolchain cmake/tarnel-coldfire.cmake
# Sources compile with m68k-linux-gnu-gcc (assembly through the same driver).
#   tarnel_add_executable(NAME SOURCES...)  links NAME.rom at TARNEL_ROM_ADDRESS,
#       with NAME.s19, NAME.elf (tarnel-elf) and NAME.map beside it
#   tarnel_add_library(NAME SOURCES...)     packs NAME.lib with tarnel -g
#   tarnel_link_libraries(TARGET LIBS...)   links libraries (targets or .lib
#       files) after TARGET's modules, in the order given
# A target's objects are converted together with tarnel-elf2obj, each under a
# name made of its source path, and every program is linked with the ColdFire
# runtime library last (TARNEL_RUNTIME); with TARNEL_RAM_ADDRESS its data runs
# in RAM, and TARNEL_ROM_SIZE and TARNEL_RAM_SIZE make a program that outgrows
# either an error. Sources compile with -g unless TARNEL_DEBUG is OFF. The tarnel programs are found in
# TARNEL_BIN_DIR; else, for the installed file (PREFIX/share/tarnel/cmake),
# in PREFIX/bin, then on PATH; else, in a clone, on PATH, then in its build/.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR m68k)
set(TARNEL_CPU 5208 CACHE STRING "ColdFire model for -mcpu and tarnel-elf2obj --cpu (four hex digits)")
set(TARNEL_ROM_ADDRESS 40000000 CACHE STRING "ROM start address, hexadecimal with or without 0x")
set(TARNEL_RAM_ADDRESS "" CACHE STRING "RAM start address where data, bss, base and bssb run, hexadecimal with or without 0x (empty: all in the ROM image)")
set(TARNEL_ROM_SIZE "" CACHE STRING "ROM size: bytes, decimal or 0x hex, or with a K or M suffix (empty: not checked)")
set(TARNEL_RAM_SIZE "" CACHE STRING "RAM size, as TARNEL_ROM_SIZE; needs TARNEL_RAM_ADDRESS (empty: not checked)")
set(TARNEL_DEBUG ON CACHE BOOL "Compile with -g, so that the ELF carries each module's debugging information")
set(TARNEL_LINK_OPTIONS "" CACHE STRING "Further tarnel options for every program's link, such as -b (a list: -b;-m)")
set(TARNEL_RUNTIME ON CACHE BOOL "Link the ColdFire runtime library (memcpy, memset, integer helpers) after each program")
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
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TARNEL_CPU TARNEL_CROSS_PREFIX)

set(_tarnel_link_script ${CMAKE_CURRENT_LIST_DIR}/tarnel-link.cmake)
# the runtime library sits in runtime/ beside cmake/, in a clone and installed alike
get_filename_component(_tarnel_runtime_library ${CMAKE_CURRENT_LIST_DIR}/../runtime/tarnel-runtime.lib ABSOLUTE)
if(CMAKE_CURRENT_LIST_DIR MATCHES "/share/tarnel/cmake$")
  # installed: the programs of the same install come first
  get_filename_component(_tarnel_prefix ${CMAKE_CURRENT_LIST_DIR}/../../.. ABSOLUTE)
  set(_tarnel_hint_dirs ${_tarnel_prefix}/bin)
else()
  # where this clone's own build puts the three programs
  set(_tarnel_build_dirs ${CMAKE_CURRENT_LIST_DIR}/../build ${CMAKE_CURRENT_LIST_DIR}/../build/tools/elf
      ${CMAKE_CURRENT_LIST_DIR}/../build/tools/elf2obj)
endif()

# An address setting, TARNEL_<REGION>_ADDRESS, is one to eight hex digits,
# with or without 0x; sets OUT to the digits, or stops configure.
function(_tarnel_hex_address region example out)
  set(value "${TARNEL_${region}_ADDRESS}")
  set(digits)
  if(value MATCHES "^(0[xX])?([0-9A-Fa-f]+)$")
    set(digits ${CMAKE_MATCH_2})
  endif()
  string(LENGTH "${digits}" length)
  if(length EQUAL 0 OR length GREATER 8)
    message(FATAL_ERROR "TARNEL_${region}_ADDRESS is '${value}': give the ${region} start as one to eight "
                        "hexadecimal digits, with or without 0x, such as ${example} or 0x${example}")
  endif()
  set(${out} ${digits} PARENT_SCOPE)
endfunction()

# Stops configure when a setting would be lost or misread: the model is
# four hex digits (what tarnel-elf2obj takes), the flags name no other
# model, and the ROM address is one to eight hex digits, with or without
# 0x. Sets _tarnel_rom to the digits that follow -r and -s.
macro(_tarnel_check_settings)
  if(NOT TARNEL_CPU MATCHES "^[0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f]$")
    message(FATAL_ERROR "TARNEL_CPU is '${TARNEL_CPU}': give the ColdFire model as four hex digits, such as 5208")
  endif()
  foreach(_tarnel_flags CMAKE_C_FLAGS CMAKE_ASM_FLAGS)
    if(" ${${_tarnel_flags}} " MATCHES " -m(cpu|arch)=([^ ]*) " AND NOT CMAKE_MATCH_2 STREQUAL TARNEL_CPU)
      message(FATAL_ERROR "${_tarnel_flags} holds -m${CMAKE_MATCH_1}=${CMAKE_MATCH_2}, but TARNEL_CPU is ${TARNEL_CPU}: "
                          "set the model with -DTARNEL_CPU=MODEL, which both the compiler and tarnel-elf2obj take")
    endif()
  endforeach()
  _tarnel_hex_address(ROM 40000000 _tarnel_rom)
  # the flash and RAM options, as tarnel takes them
  set(_tarnel_memory)
  if(NOT TARNEL_RAM_ADDRESS STREQUAL "")
    _tarnel_hex_address(RAM 20000000 _tarnel_ram_digits)
    list(APPEND _tarnel_memory --ram=${TARNEL_RAM_ADDRESS})
  endif()
  foreach(_tarnel_region ROM RAM)
    set(_tarnel_size "${TARNEL_${_tarnel_region}_SIZE}")
    if(_tarnel_size STREQUAL "")
      continue()
    endif()
    if(NOT _tarnel_size MATCHES "^([0-9]+|0[xX][0-9A-Fa-f]+)[KkMm]?$")
      message(FATAL_ERROR "TARNEL_${_tarnel_region}_SIZE is '${_tarnel_size}': give a size in bytes, decimal or "
                          "0x hex, or with a K or M suffix of 1024s, such as 512K")
    endif()
    if(_tarnel_region STREQUAL "RAM" AND TARNEL_RAM_ADDRESS STREQUAL "")
      message(FATAL_ERROR "TARNEL_RAM_SIZE is set but TARNEL_RAM_ADDRESS is not: the RAM's size needs its start")
    endif()
    string(TOLOWER ${_tarnel_region} _tarnel_lower)
    list(APPEND _tarnel_memory --${_tarnel_lower}-size=${_tarnel_size})
  endforeach()
endmacro()

# Finds tarnel, tarnel-elf and tarnel-elf2obj (TARNEL_PROGRAM_tarnel, ...).
macro(_tarnel_find_programs)
  foreach(_tarnel_tool tarnel tarnel-elf tarnel-elf2obj)
    string(MAKE_C_IDENTIFIER "TARNEL_PROGRAM_${_tarnel_tool}" _tarnel_var)
    if(TARNEL_BIN_DIR)
      find_program(${_tarnel_var} ${_tarnel_tool} PATHS ${TARNEL_BIN_DIR} NO_DEFAULT_PATH)
    else()
      find_program(${_tarnel_var} ${_tarnel_tool} HINTS ${_tarnel_hint_dirs} PATHS ${_tarnel_build_dirs})
    endif()
    if(NOT ${_tarnel_var})
      message(FATAL_ERROR "${_tarnel_tool} not found: build tarnel in build/ of this clone, set TARNEL_BIN_DIR to the directory of the tarnel programs, or put them on PATH")
    endif()
  endforeach()
endmacro()

# NAME_objects: the sources compiled for TARNEL_CPU, whatever the flags say
# (target options follow CMAKE_C_FLAGS on the command line, and gcc takes the
# last -mcpu)
function(_tarnel_add_objects name)
  add_library(${name}_objects OBJECT ${ARGN})
  target_compile_options(${name}_objects PRIVATE -mcpu=${TARNEL_CPU} $<$<BOOL:${TARNEL_DEBUG}>:-g>)
endfunction()

# The link script's arguments common to programs and libraries.
function(_tarnel_script_args out name)
  set(${out} -DELF2OBJ=${TARNEL_PROGRAM_tarnel_elf2obj} -DTARNEL=${TARNEL_PROGRAM_tarnel}
      -DCPU=${TARNEL_CPU} -DOUT=${CMAKE_CURRENT_BINARY_DIR}/${name}
      "-DOBJECTS=$<JOIN:$<TARGET_OBJECTS:${name}_objects>,|>" PARENT_SCOPE)
endfunction()

function(tarnel_add_executable name)
  _tarnel_check_settings()
  _tarnel_find_programs()
  foreach(option ${TARNEL_LINK_OPTIONS})
    if(NOT option MATCHES "^-" OR option MATCHES "^-[oOrRsSeEgGfFlL]")
      message(FATAL_ERROR "TARNEL_LINK_OPTIONS holds '${option}': it takes options such as -b or -m; the output "
                          "(-o, -r, -s) is the toolchain file's to set, -e and -g make other files, and -f and "
                          "-l would take the arguments after them")
    endif()
  endforeach()
  set(runtime)
  if(TARNEL_RUNTIME)
    if(NOT EXISTS ${_tarnel_runtime_library})
      message(FATAL_ERROR "the ColdFire runtime library ${_tarnel_runtime_library} is missing: "
                          "reinstall tarnel, or set TARNEL_RUNTIME to OFF and link your own")
    endif()
    set(runtime ${_tarnel_runtime_library})
  endif()
  _tarnel_add_objects(${name} ${ARGN})
  _tarnel_script_args(args ${name})
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${name})
  set(libraries "$<TARGET_PROPERTY:${name},TARNEL_LIBRARIES>")
  set(options ${_tarnel_memory} ${TARNEL_LINK_OPTIONS})
  string(REPLACE ";" "|" options "${options}")
  add_custom_command(
    OUTPUT ${out}.rom ${out}.s19 ${out}.elf ${out}.map
    COMMAND ${CMAKE_COMMAND} ${args} -DTARNEL_ELF=${TARNEL_PROGRAM_tarnel_elf} -DROM=${_tarnel_rom}
            "-DOPTIONS=${options}" "-DLIBRARIES=$<JOIN:${libraries},|>" -DRUNTIME=${runtime}
            -P ${_tarnel_link_script}
    DEPENDS ${name}_objects $<TARGET_OBJECTS:${name}_objects> ${libraries} ${runtime} ${_tarnel_link_script}
    COMMAND_EXPAND_LISTS VERBATIM)
  add_custom_target(${name} ALL DEPENDS ${out}.rom)
  set_target_properties(${name} PROPERTIES TARNEL_KIND executable)
endfunction()

function(tarnel_add_library name)
  _tarnel_check_settings()
  _tarnel_find_programs()
  _tarnel_add_objects(${name} ${ARGN})
  _tarnel_script_args(args ${name})
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${name})
  add_custom_command(
    OUTPUT ${out}.lib
    COMMAND ${CMAKE_COMMAND} ${args} -P ${_tarnel_link_script}
    DEPENDS ${name}_objects $<TARGET_OBJECTS:${name}_objects> ${_tarnel_link_script}
    COMMAND_EXPAND_LISTS VERBATIM)
  add_custom_target(${name} ALL DEPENDS ${out}.lib)
  set_target_properties(${name} PROPERTIES TARNEL_KIND library TARNEL_LIBRARY_FILE ${out}.lib)
endfunction()

# Each library is a tarnel_add_library target defined before this call, or a
# .lib file (relative to the current source folder). They follow the
# program's modules, before the runtime, in the order of the calls.
function(tarnel_link_libraries name)
  if(TARGET ${name})
    get_target_property(kind ${name} TARNEL_KIND)
  endif()
  if(NOT kind STREQUAL "executable")
    message(FATAL_ERROR "tarnel_link_libraries: ${name} is not a target made by tarnel_add_executable")
  endif()
  foreach(library ${ARGN})
    if(TARGET ${library})
      get_target_property(kind ${library} TARNEL_KIND)
      get_target_property(file ${library} TARNEL_LIBRARY_FILE)
      if(NOT kind STREQUAL "library")
        message(FATAL_ERROR "tarnel_link_libraries(${name} ...): ${library} was not made by tarnel_add_library")
      endif()
      add_dependencies(${name} ${library})
    else()
      get_filename_component(file ${library} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
      if(NOT EXISTS ${file})
        message(FATAL_ERROR "tarnel_link_libraries(${name} ...): ${library} is neither a tarnel_add_library "
                            "target made before this call nor a library file")
      endif()
    endif()
    set_property(TARGET ${name} APPEND PROPERTY TARNEL_LIBRARIES ${file})
  endforeach()
endfunction()
