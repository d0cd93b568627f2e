# Writes the STRINGTABLE of the Windows resource script from the program's
# string table (ui/string_table.inc), so that the texts stay defined once:
#   cmake -DINPUT=ui/string_table.inc -DOUTPUT=quietwalk_strings.rc -P QuietwalkStringTable.cmake
#
# The C escapes of the table become the resource compiler's: \" becomes "",
# which both rc.exe and windres read as a quote; \n, \t and \\ stay. Other
# escapes and bytes outside printable ASCII would need a code page here, so
# they stop the build instead of being compiled into something else.
if(NOT INPUT OR NOT OUTPUT)
  message(FATAL_ERROR "usage: cmake -DINPUT=string_table.inc -DOUTPUT=strings.rc -P ${CMAKE_CURRENT_LIST_FILE}")
endif()

file(READ "${INPUT}" table)
string(APPEND table "\n")

# Line by line without CMake lists, which would read the texts' brackets and
# semicolons as list syntax.
set(entries "")
while(NOT table STREQUAL "")
  string(FIND "${table}" "\n" end)
  string(SUBSTRING "${table}" 0 ${end} line)
  math(EXPR next "${end} + 1")
  string(SUBSTRING "${table}" ${next} -1 table)
  if(NOT line MATCHES "^[ \t]*QW_STRING\\(")
    continue()
  endif()
  if(NOT line MATCHES "^[ \t]*QW_STRING\\([ \t]*([0-9]+)[ \t]*,[ \t]*([A-Za-z_][A-Za-z_0-9]*)[ \t]*,[ \t]*\"(.*)\"[ \t]*\\)[ \t]*$")
    message(FATAL_ERROR "${INPUT}: cannot read the line: ${line}")
  endif()
  set(id "${CMAKE_MATCH_1}")
  set(name "${CMAKE_MATCH_2}")
  set(text "${CMAKE_MATCH_3}")
  if(text MATCHES "[^ -~]")
    message(FATAL_ERROR "${INPUT}: string ${id} holds bytes outside printable ASCII")
  endif()
  # Every backslash must start one of the escapes understood here.
  string(REGEX REPLACE "\\\\[\\\\\"nt]" "" unescaped "${text}")
  if(unescaped MATCHES "\\\\")
    message(FATAL_ERROR "${INPUT}: string ${id} has an escape other than \\\\ \\\" \\n \\t")
  endif()
  string(REPLACE "\\\\" "@QW_BACKSLASH@" text "${text}")
  string(REPLACE "\\\"" "\"\"" text "${text}")
  string(REPLACE "@QW_BACKSLASH@" "\\\\" text "${text}")
  string(APPEND entries "    ${name}, \"${text}\"\n")
endwhile()
if(entries STREQUAL "")
  message(FATAL_ERROR "${INPUT}: no QW_STRING lines")
endif()

set(content "// Made from ui/string_table.inc at build time; edit that file instead.\nSTRINGTABLE\nBEGIN\n${entries}END\n")
# Rewritten only when it changes, so the resources are not rebuilt for nothing.
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
  if(old STREQUAL content)
    return()
  endif()
endif()
file(WRITE "${OUTPUT}" "${content}")
