# Turns the STRINGTABLE blocks of a Windows resource script into a C++ table
# for platforms without string-table resources.
#
#   cmake -DINPUT=resources.rc -DOUTPUT=string_table.inc -P generate_string_table.cmake
#
# Each entry line of the script has the form
#     <id>, "<text>"          (the comma is optional; "" stands for one quote)
# The output holds one initializer per string, sorted by id:
#     {1000u, u"LDAP"},
# Duplicate ids, text outside a block and unsupported escapes stop the build.

cmake_minimum_required(VERSION 3.25)

if(NOT INPUT OR NOT OUTPUT)
  message(FATAL_ERROR "usage: cmake -DINPUT=<file.rc> -DOUTPUT=<file.inc> -P generate_string_table.cmake")
endif()

file(READ "${INPUT}" _script)
# Keep semicolons and brackets out of CMake's list handling while lines are split.
string(REPLACE "\\" "<BACKSLASH>" _script "${_script}")
string(REPLACE ";" "<SEMICOLON>" _script "${_script}")
string(REPLACE "[" "<OPEN>" _script "${_script}")
string(REPLACE "]" "<CLOSE>" _script "${_script}")
string(REPLACE "\r" "" _script "${_script}")
string(REPLACE "\n" ";" _lines "${_script}")

set(_in_table OFF)
set(_entries "")
set(_ids "")
set(_line_number 0)
foreach(_line IN LISTS _lines)
  math(EXPR _line_number "${_line_number} + 1")
  string(STRIP "${_line}" _line)
  if(_line STREQUAL "STRINGTABLE")
    set(_in_table ON)
    continue()
  endif()
  if(NOT _in_table OR _line STREQUAL "BEGIN" OR _line STREQUAL "" OR _line MATCHES "^//")
    continue()
  endif()
  if(_line STREQUAL "END")
    set(_in_table OFF)
    continue()
  endif()
  if(NOT _line MATCHES "^([0-9]+)[ \t]*,?[ \t]*\"(.*)\"$")
    message(FATAL_ERROR "${INPUT}:${_line_number}: not a string-table entry: ${_line}")
  endif()
  set(_id "${CMAKE_MATCH_1}")
  set(_text "${CMAKE_MATCH_2}")
  if(_text MATCHES "<BACKSLASH>")
    message(FATAL_ERROR "${INPUT}:${_line_number}: escapes are not supported in string texts")
  endif()
  # A lone quote inside the text would end it early in the resource compiler.
  string(REPLACE "\"\"" "<QUOTE>" _text "${_text}")
  if(_text MATCHES "\"")
    message(FATAL_ERROR "${INPUT}:${_line_number}: unpaired quote in string text")
  endif()
  if(_id IN_LIST _ids)
    message(FATAL_ERROR "${INPUT}:${_line_number}: duplicate string id ${_id}")
  endif()
  list(APPEND _ids "${_id}")
  string(REPLACE "<QUOTE>" "\\\"" _text "${_text}")
  # Zero-padded keys make the plain string sort an id sort.
  string(LENGTH "${_id}" _id_length)
  math(EXPR _pad "10 - ${_id_length}")
  string(REPEAT "0" ${_pad} _zeros)
  list(APPEND _entries "${_zeros}${_id}|    {${_id}u, u\"${_text}\"},")
endforeach()

if(_in_table)
  message(FATAL_ERROR "${INPUT}: STRINGTABLE without END")
endif()
list(LENGTH _entries _count)
if(_count EQUAL 0)
  message(FATAL_ERROR "${INPUT}: no strings found")
endif()
list(SORT _entries)

set(_out "// Generated from ${INPUT} by generate_string_table.cmake. Do not edit.\n")
foreach(_entry IN LISTS _entries)
  string(REGEX REPLACE "^[0-9]+\\|" "" _entry "${_entry}")
  string(APPEND _out "${_entry}\n")
endforeach()
string(REPLACE "<SEMICOLON>" ";" _out "${_out}")
string(REPLACE "<OPEN>" "[" _out "${_out}")
string(REPLACE "<CLOSE>" "]" _out "${_out}")

# Rewrite only on change so dependants do not rebuild needlessly.
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" _old)
  if(_old STREQUAL _out)
    return()
  endif()
endif()
file(WRITE "${OUTPUT}" "${_out}")
