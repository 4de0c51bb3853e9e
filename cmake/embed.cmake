# Makes text files into string constants of a C++ source, at build time:
#
#   cmake -DOUTPUT=out.cpp -DHEADER=dir/header.hpp -DNAMES=kA|kB -DFILES=a.html|b.js -P embed.cmake
#
# Each file becomes a raw string literal named by its place in NAMES, in
# namespace tarnel; HEADER declares them. A file that holds the literal's
# closing sequence is refused rather than cut short.
string(REPLACE "|" ";" names "${NAMES}")
string(REPLACE "|" ";" files "${FILES}")
set(delimiter "tarnel_embed")
set(text "// Made by cmake/embed.cmake from the files named below; edit those, not this.\n")
string(APPEND text "#include \"${HEADER}\"\n\nnamespace tarnel {\n")
foreach(name file IN ZIP_LISTS names files)
  file(READ "${file}" content)
  string(FIND "${content}" ")${delimiter}\"" found)
  if(NOT found EQUAL -1)
    message(FATAL_ERROR "${file} holds )${delimiter}\", which would end its string")
  endif()
  string(APPEND text "\n// ${file}\nconst std::string_view ${name} = R\"${delimiter}(${content})${delimiter}\";\n")
endforeach()
string(APPEND text "\n}  // namespace tarnel\n")
# written only when it changed, so that an unchanged page compiles nothing again
set(previous "")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" previous)
endif()
if(NOT previous STREQUAL text)
  file(WRITE "${OUTPUT}" "${text}")
endif()
