# Makes the import library of a DLL whose __stdcall exports carry undecorated
# names, for C callers: their compilers name each function by its decorated
# symbol (_name@bytes), which the import library binds to the undecorated
# export. The argument sizes come from the linked DLL's symbol table, the names
# and ordinals from its module-definition file.
#
#   cmake -DNM=... -DDLLTOOL=... -DIMAGE=x.dll -DDEF=x.def -DOUTPUT=libx.dll.a
#         -P stdcall_import_library.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/ModuleDefinition.cmake)

read_module_definition(${DEF} exports)
execute_process(COMMAND ${NM} ${IMAGE} OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${IMAGE}")
endif()
set(symbols "\n${symbols}")

get_filename_component(dll_name ${IMAGE} NAME)
set(decorated "LIBRARY ${dll_name}\nEXPORTS\n")
foreach(entry IN LISTS exports)
  string(REPLACE "=" ";" entry "${entry}")
  list(GET entry 0 name)
  set(line "${name}")
  # A function without a decorated symbol is not __stdcall: its name stays.
  if(symbols MATCHES "\n[0-9a-fA-F]+ T _${name}@([0-9]+)\n")
    set(line "${name}@${CMAKE_MATCH_1}")
  endif()
  list(LENGTH entry parts)
  if(parts EQUAL 2)
    list(GET entry 1 ordinal)
    string(APPEND line " @${ordinal}")
  endif()
  string(APPEND decorated "    ${line}\n")
endforeach()

set(decorated_def ${OUTPUT}.def)
file(WRITE ${decorated_def} "${decorated}")
execute_process(
  COMMAND ${DLLTOOL} --kill-at --input-def ${decorated_def} --dllname ${dll_name} --output-lib ${OUTPUT}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${DLLTOOL} failed to make ${OUTPUT}")
endif()
