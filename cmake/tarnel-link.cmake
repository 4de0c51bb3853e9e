# Run by tarnel_add_executable: converts OBJECTS together with ELF2OBJ -d into
# OUT.modules/ (one call, so references between them of the form sym+addend
# become aliases) and links them, in order, into OUT.rom, OUT.s19, OUT.elf
# and OUT.map.
string(REPLACE "|" ";" OBJECTS "${OBJECTS}")
execute_process(COMMAND ${ELF2OBJ} -d ${OUT}.modules ${OBJECTS} --cpu ${CPU} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "tarnel-elf2obj could not convert ${OBJECTS}")
endif()
# -d writes each object under its own file name (main.c.obj); the link takes it as main.o
set(modules)
foreach(obj ${OBJECTS})
  get_filename_component(file ${obj} NAME)
  get_filename_component(base ${obj} NAME_WE)
  set(module ${OUT}.modules/${base}.o)
  file(RENAME ${OUT}.modules/${file} ${module})
  list(APPEND modules ${module})
endforeach()
foreach(step "${TARNEL};-r${ROM};-o;${OUT}.rom" "${TARNEL};-s${ROM};-o;${OUT}.s19" "${TARNEL_ELF};-m;-r${ROM};-o;${OUT}.elf")
  execute_process(COMMAND ${step} ${modules} OUTPUT_VARIABLE log RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${log}")
  endif()
endforeach()
file(WRITE ${OUT}.map "${log}")
