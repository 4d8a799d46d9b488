# Helpers of the checks that read a Windows DLL through objdump -p.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/ModuleDefinition.cmake)


function(pe_fail text)
  message(FATAL_ERROR "${text}")
endfunction()

# pe_report(<problems> <subject>): fails with every line of the list variable
# <problems> under the subject, unless the list is empty.
function(pe_report _problems subject)
  if(${_problems})
    string(REPLACE ";" "\n  " lines "${${_problems}}")
    string(REPLACE "<semicolon>" ";" lines "${lines}")
    string(REPLACE "<open>" "[" lines "${lines}")
    string(REPLACE "<close>" "]" lines "${lines}")
    pe_fail("${subject}:\n  ${lines}")
  endif()
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

# pe_compare_lists(<actual> <expected> <only-actual text> <only-expected text>
#                  <problems>): appends to the list variable <problems> a line
# naming the items of the list variable <actual> missing from <expected>, and
# one for the opposite, each after its text; nothing when the two hold the
# same items.
# (The parameters carry a prefix so that they do not hide the caller's
# variables they name.)
function(pe_compare_lists _actual _expected _only_actual_text _only_expected_text _problems)
  set(only_actual ${${_actual}})
  set(only_expected ${${_expected}})
  if(${_expected})
    list(REMOVE_ITEM only_actual ${${_expected}})
  endif()
  if(${_actual})
    list(REMOVE_ITEM only_expected ${${_actual}})
  endif()
  set(found ${${_problems}})
  if(only_actual)
    list(JOIN only_actual ", " only_actual)
    list(APPEND found "${_only_actual_text}: ${only_actual}")
  endif()
  if(only_expected)
    list(JOIN only_expected ", " only_expected)
    list(APPEND found "${_only_expected_text}: ${only_expected}")
  endif()
  set(${_problems} ${found} PARENT_SCOPE)
endfunction()
