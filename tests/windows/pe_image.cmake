# Helpers of the checks that read a Windows DLL through objdump -p.
cmake_minimum_required(VERSION 3.25)


function(pe_fail text)
  message(FATAL_ERROR "${text}")
endfunction()

# pe_dump(<objdump> <image> <out>): the private headers of image.
function(pe_dump objdump image out)
  execute_process(COMMAND ${objdump} -p ${image} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    pe_fail("${objdump} -p failed on ${image}")
  endif()
  # Semicolons and brackets would split or group the text as CMake lists.
  string(REPLACE ";" "<semicolon>" dump "${dump}")
  set(${out} "\n${dump}" PARENT_SCOPE)
endfunction()

# pe_section(<text> <start> <end> <out>): the text from the first start marker
# to the first end marker after it; empty when start does not occur.
function(pe_section text start end out)
  string(FIND "${text}" "${start}" from)
  if(from EQUAL -1)
    set(${out} "" PARENT_SCOPE)
    return()
  endif()
  string(SUBSTRING "${text}" ${from} -1 rest)
  string(FIND "${rest}" "${end}" to)
  string(SUBSTRING "${rest}" 0 ${to} section)
  set(${out} "${section}" PARENT_SCOPE)
endfunction()

# pe_read_def_exports(<def> <out>): the EXPORTS of a module-definition file as
# a list of "name" or "name=ordinal".
function(pe_read_def_exports def out)
  file(READ ${def} text)
  # Comments run from a semicolon to the end of the line.
  string(REGEX REPLACE ";[^\n]*" "" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(in_exports OFF)
  set(entries "")
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    if(line STREQUAL "")
      continue()
    elseif(line STREQUAL "EXPORTS")
      set(in_exports ON)
    elseif(line MATCHES "^(LIBRARY|NAME)( |$)")
      set(in_exports OFF)
    elseif(in_exports AND line MATCHES "^([A-Za-z_][A-Za-z_0-9]*)[ \t]+@([0-9]+)$")
      list(APPEND entries "${CMAKE_MATCH_1}=${CMAKE_MATCH_2}")
    elseif(in_exports AND line MATCHES "^([A-Za-z_][A-Za-z_0-9]*)$")
      list(APPEND entries "${CMAKE_MATCH_1}")
    else()
      pe_fail("${def}: cannot read \"${line}\"")
    endif()
  endforeach()
  if(NOT entries)
    pe_fail("${def} lists no exports")
  endif()
  set(${out} "${entries}" PARENT_SCOPE)
endfunction()
