# Checks the export table of a DLL against its module-definition file: the
# DLL exports exactly the names of the file, undecorated, each at the ordinal
# the file gives it (where it gives one), and each name is a __stdcall function
# (the callee removes its arguments): the symbol table shows it as
# _name@bytes at the address of the export.
#
#   cmake -DOBJDUMP=... -DNM=... -DIMAGE=x.dll -DDEF=x.def -DDLL_NAME=x.dll
#         [-DARGUMENT_BYTES=name=bytes,...] -P check_exports.cmake
#
# ARGUMENT_BYTES pins the argument size of named exports (LDAPWndProc=20).
include(${CMAKE_CURRENT_LIST_DIR}/pe_image.cmake)
string(REPLACE "," ";" ARGUMENT_BYTES "${ARGUMENT_BYTES}")

read_module_definition(${DEF} expected)
pe_dump(${OBJDUMP} ${IMAGE} dump)

string(REGEX MATCH "\nImageBase[ \t]+([0-9a-fA-F]+)" _ "${dump}")
set(image_base "0x${CMAKE_MATCH_1}")
string(REGEX MATCH "\nName[ \t]+[0-9a-fA-F]+ ([^\n]+)" _ "${dump}")
set(export_name "${CMAKE_MATCH_1}")
string(REGEX MATCH "Ordinal Base[ \t]+([0-9]+)" _ "${dump}")
set(ordinal_base "${CMAKE_MATCH_1}")
if(ordinal_base STREQUAL "")
  pe_fail("${IMAGE} has no export table")
endif()
if(NOT export_name STREQUAL DLL_NAME)
  pe_fail("the export table names the DLL \"${export_name}\", not \"${DLL_NAME}\"")
endif()

# Export Address Table: "[ 3] +base[1004] 2f40 Export RVA", one per ordinal.
pe_section("${dump}" "Export Address Table --" "\n\n" address_table)
string(REGEX MATCHALL "\\[ *[0-9]+\\] \\+base\\[ *[0-9]+\\] [0-9a-fA-F]+" address_lines "${address_table}")
list(LENGTH address_lines address_count)
foreach(line IN LISTS address_lines)
  string(REGEX MATCH "^\\[ *([0-9]+)\\] \\+base\\[ *[0-9]+\\] ([0-9a-fA-F]+)$" _ "${line}")
  math(EXPR address "${image_base} + 0x${CMAKE_MATCH_2}" OUTPUT_FORMAT HEXADECIMAL)
  set(address_at_${CMAKE_MATCH_1} ${address})
endforeach()

# Name pointer table: "[ 3] ldap_remove_replica", the index is ordinal - base.
pe_section("${dump}" "[Ordinal/Name Pointer] Table" "\n\n" name_table)
string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" name_lines "${name_table}")
list(LENGTH name_lines name_count)
if(NOT address_count EQUAL name_count)
  pe_fail("${address_count} exported addresses but ${name_count} exported names: some exports have no name")
endif()

set(actual "")
set(problems "")
foreach(line IN LISTS name_lines)
  string(REGEX REPLACE "^\\[ *([0-9]+)\\] (.+)$" "\\1" index "${line}")
  string(REGEX REPLACE "^\\[ *([0-9]+)\\] (.+)$" "\\2" name "${line}")
  string(STRIP "${name}" name)
  math(EXPR ordinal "${ordinal_base} + ${index}")
  list(APPEND actual "${name}")
  set(ordinal_of_${name} ${ordinal})
  set(address_of_${name} "${address_at_${index}}")
endforeach()

set(expected_names "")
foreach(entry IN LISTS expected)
  string(REPLACE "=" ";" pair "${entry}")
  list(GET pair 0 name)
  list(APPEND expected_names ${name})
  list(LENGTH pair parts)
  if(parts EQUAL 2)
    list(GET pair 1 ordinal)
    if(NOT "${ordinal_of_${name}}" STREQUAL "${ordinal}")
      list(APPEND problems "${name} is at ordinal '${ordinal_of_${name}}', not ${ordinal}")
    endif()
  endif()
endforeach()
pe_compare_lists(actual expected_names "exported but not in ${DEF}" "in ${DEF} but not exported"
                 problems)

# The calling convention, from the symbol table: _name@bytes at the export.
execute_process(COMMAND ${NM} ${IMAGE} OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
set(symbols "\n${symbols}")
if(NOT status EQUAL 0)
  pe_fail("${NM} failed on ${IMAGE}")
endif()
foreach(pin IN LISTS ARGUMENT_BYTES)
  string(REPLACE "=" ";" pin "${pin}")
  list(GET pin 0 name)
  list(GET pin 1 bytes)
  set(bytes_of_${name} ${bytes})
endforeach()
foreach(name IN LISTS actual)
  if(name MATCHES "@")
    list(APPEND problems "${name} is exported decorated")
    continue()
  endif()
  if(NOT symbols MATCHES "\n0*([0-9a-fA-F]+) T _${name}@([0-9]+)\n")
    list(APPEND problems "${name} is not a __stdcall function (no symbol _${name}@bytes)")
    continue()
  endif()
  set(bytes ${CMAKE_MATCH_2})
  math(EXPR symbol_address "0x${CMAKE_MATCH_1}" OUTPUT_FORMAT HEXADECIMAL)
  if(NOT symbol_address STREQUAL "${address_of_${name}}")
    list(APPEND problems "${name} is exported at ${address_of_${name}}, but _${name}@${bytes} is at ${symbol_address}")
  endif()
  if(DEFINED bytes_of_${name} AND NOT bytes EQUAL bytes_of_${name})
    list(APPEND problems "${name} takes ${bytes} bytes of arguments, not ${bytes_of_${name}}")
  endif()
endforeach()

pe_report(problems "export table of ${IMAGE}")
list(LENGTH actual count)
message(STATUS "${IMAGE}: ${count} exports, undecorated, __stdcall, at the ordinals of ${DEF}")
