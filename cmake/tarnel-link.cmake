# Run by tarnel_add_executable and tarnel_add_library: converts OBJECTS
# together with ELF2OBJ -d into OUT.modules/ (one call, so references between
# them of the form sym+addend become aliases), then either links the modules,
# in order, followed by LIBRARIES and RUNTIME, into OUT.rom, OUT.s19, OUT.elf
# and OUT.map (with OPTIONS before the modules), or, without TARNEL_ELF,
# packs them into OUT.lib.
#
# Each module is named after its source path, which CMake's object path
# repeats under CMakeFiles/TARGET.dir/: a/util.c.obj becomes a-util.c.o, so
# main.c and main.s, or a/util.c and b/util.c, stay two modules.
foreach(list OBJECTS LIBRARIES OPTIONS)
  string(REPLACE "|" ";" ${list} "${${list}}")
endforeach()

# tarnel-elf2obj -d names each output after its input's file name: the
# objects are given to it through links that carry the module names. Both
# folders start empty, so no module of a source that left the target stays.
set(stage ${OUT}.objects)
file(REMOVE_RECURSE ${stage} ${OUT}.modules)
file(MAKE_DIRECTORY ${stage})
set(modules)
set(names)
foreach(obj ${OBJECTS})
  cmake_path(NORMAL_PATH obj OUTPUT_VARIABLE path)
  string(REGEX REPLACE "^.*/CMakeFiles/[^/]+\\.dir/" "" path ${path})
  string(REGEX REPLACE "\\.[^./]+$" "" path ${path})
  string(REPLACE "/" "-" name ${path})
  set(name ${name}.o)
  list(FIND names ${name} seen)
  if(NOT seen EQUAL -1)
    list(GET OBJECTS ${seen} other)
    message(FATAL_ERROR "${obj} and ${other} would both be the module ${name}: rename one of their sources")
  endif()
  list(APPEND names ${name})
  file(CREATE_LINK ${obj} ${stage}/${name} SYMBOLIC COPY_ON_ERROR)
  list(APPEND modules ${OUT}.modules/${name})
endforeach()
list(TRANSFORM names PREPEND ${stage}/ OUTPUT_VARIABLE staged)
execute_process(COMMAND ${ELF2OBJ} -d ${OUT}.modules ${staged} --cpu ${CPU} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "tarnel-elf2obj could not convert ${OBJECTS}")
endif()

if(NOT TARNEL_ELF)
  execute_process(COMMAND ${TARNEL} -g ${modules} -o ${OUT}.lib OUTPUT_VARIABLE log RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${log}")
  endif()
  return()
endif()

set(inputs ${modules} ${LIBRARIES} ${RUNTIME})
foreach(step "${TARNEL};${OPTIONS};-r${ROM};-o;${OUT}.rom" "${TARNEL};${OPTIONS};-s${ROM};-o;${OUT}.s19"
             "${TARNEL_ELF};${OPTIONS};-m;-r${ROM};-o;${OUT}.elf")
  execute_process(COMMAND ${step} ${inputs} OUTPUT_VARIABLE log RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${log}")
  endif()
endforeach()
# the map is tarnel-elf's report; it replaces the old one whole or not at all
file(WRITE ${OUT}.map.tmp "${log}")
file(RENAME ${OUT}.map.tmp ${OUT}.map)
