# Checks the string-table resource of a DLL: every string is in English (United
# Kingdom), and the table holds exactly the ids and texts of the lookup table
# that POSIX builds generate from the same resource script.
#
#   cmake -DWINDRES=... -DIMAGE=kandrel.dll -DSCRIPT=resources.rc
#         -DGENERATOR=generate_string_table.cmake -DWORK=<folder> -P check_string_table.cmake
include(${CMAKE_CURRENT_LIST_DIR}/pe_image.cmake)

file(MAKE_DIRECTORY ${WORK})
set(decompiled ${WORK}/decompiled.rc)
set(generated ${WORK}/string_table.inc)
execute_process(COMMAND ${WINDRES} --input ${IMAGE} --input-format coff --output ${decompiled}
                        --output-format rc
                RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  pe_fail("${WINDRES} cannot read the resources of ${IMAGE}: ${errors}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -DINPUT=${SCRIPT} -DOUTPUT=${generated} -P ${GENERATOR}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  pe_fail("${GENERATOR} failed on ${SCRIPT}")
endif()

# read_entries(<file> <pattern> <out>): "id|text" for each line matching
# pattern, whose first group is the id and second the text, with the escapes of
# a quote ("" or \") turned back into the quote.
function(read_entries file pattern out)
  file(READ ${file} text)
  string(REPLACE ";" "<semicolon>" text "${text}")
  string(REPLACE "[" "<open>" text "${text}")
  string(REPLACE "]" "<close>" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(entries "")
  foreach(line IN LISTS lines)
    if(line MATCHES "${pattern}")
      set(value "${CMAKE_MATCH_2}")
      string(REPLACE "\\\"" "\"" value "${value}")
      string(REPLACE "\"\"" "\"" value "${value}")
      list(APPEND entries "${CMAKE_MATCH_1}|${value}")
    endif()
  endforeach()
  set(${out} "${entries}" PARENT_SCOPE)
endfunction()

read_entries(${decompiled} "^  ([0-9]+), \"(.*)\"$" resource)
read_entries(${generated} "^    {([0-9]+)u, u\"(.*)\"},$" linux)
list(LENGTH resource resource_count)
list(LENGTH linux linux_count)

set(problems "")
if(resource_count EQUAL 0)
  list(APPEND problems "no string table in ${IMAGE}")
endif()
file(STRINGS ${decompiled} languages REGEX "^LANGUAGE ")
foreach(language IN LISTS languages)
  # LANG_ENGLISH is 9, SUBLANG_ENGLISH_UK 2.
  if(NOT language STREQUAL "LANGUAGE 9, 2")
    list(APPEND problems "resources in another language: ${language}")
  endif()
endforeach()
if(NOT languages)
  list(APPEND problems "no language given for the resources")
endif()

# Both lists are in id order: the resource compiler stores strings by id, the
# generator sorts them.
if(NOT resource STREQUAL linux)
  set(only_resource ${resource})
  list(REMOVE_ITEM only_resource ${linux})
  set(only_linux ${linux})
  list(REMOVE_ITEM only_linux ${resource})
  list(APPEND problems "${resource_count} strings in the resource, ${linux_count} in the generated table")
  foreach(entry IN LISTS only_resource)
    list(APPEND problems "only in the resource: ${entry}")
  endforeach()
  foreach(entry IN LISTS only_linux)
    list(APPEND problems "only in the generated table: ${entry}")
  endforeach()
endif()

pe_report(problems "string table of ${IMAGE}")
message(STATUS "${IMAGE}: ${resource_count} strings in English (United Kingdom), the same as the generated table")
