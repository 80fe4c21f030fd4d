# Writes a C++ source holding every file of a folder as static bytes, for the kit's resources bundle
# (src/platform/ui/KitResources.hpp).
#   cmake -DRESOURCE_DIR=<folder> -DOUTPUT=<file.cpp> -P EmbedResources.cmake
# The source names no path of the machine that built it: only the files' names and bytes.
if(NOT RESOURCE_DIR OR NOT OUTPUT)
  message(FATAL_ERROR "EmbedResources.cmake needs RESOURCE_DIR and OUTPUT")
endif()
file(GLOB files LIST_DIRECTORIES false RELATIVE "${RESOURCE_DIR}" "${RESOURCE_DIR}/*")
list(SORT files)
set(arrays "")
set(entries "")
set(index 0)
string(REPEAT "0x..," 16 line_of_bytes)
foreach(name IN LISTS files)
  if(NOT name MATCHES "^[A-Za-z0-9_.+-]+$")
    message(FATAL_ERROR "a resource file name must be a plain file name: ${name}")
  endif()
  file(READ "${RESOURCE_DIR}/${name}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  # One 0x.. per byte, sixteen to a line; a trailing 0 keeps an empty file's array legal.
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "(${line_of_bytes})" "\\1\n    " bytes "${bytes}")
  string(APPEND arrays "// ${name}\nconst unsigned char resource${index}[] = {\n    ${bytes}0};\n\n")
  string(APPEND entries "      {\"${name}\", {reinterpret_cast<const char*>(resource${index}), ${size}}},\n")
  math(EXPR index "${index} + 1")
endforeach()
set(content "// Generated at build time from the kit's resources/ folder by cmake/EmbedResources.cmake: do not edit.

#include \"platform/ui/KitResources.hpp\"

namespace talvaren::platform::ui::detail {
namespace {

${arrays}}  // namespace

Bundle::EmbeddedResources kitResources() {
  return {
${entries}  };
}

}  // namespace talvaren::platform::ui::detail
")
# Rewritten only when it changes, so a touched but unchanged resource compiles nothing.
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" previous)
  if(previous STREQUAL content)
    return()
  endif()
endif()
file(WRITE "${OUTPUT}" "${content}")
