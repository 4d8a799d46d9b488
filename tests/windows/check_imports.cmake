# Checks the import table of a DLL: it imports from exactly the expected DLLs,
# and from the LDAP client library, when one is given, exactly the functions of
# its module-definition file, by name.
#
#   cmake -DOBJDUMP=... -DIMAGE=x.dll -DDLLS=KERNEL32.dll,msvcrt.dll
#         [-DCLIENT_DLL=PELLIS.DLL -DCLIENT_DEF=client_library.def]
#         [-DREQUIRED=KERNEL32.dll:LoadLibraryW,...] -P check_imports.cmake
#
# DLL names compare without regard to case, as Windows loads them.
include(${CMAKE_CURRENT_LIST_DIR}/pe_image.cmake)
string(REPLACE "," ";" DLLS "${DLLS}")
string(REPLACE "," ";" REQUIRED "${REQUIRED}")

pe_dump(${OBJDUMP} ${IMAGE} dump)
pe_section("${dump}" "The Import Tables" "\nThere is" imports)
if(imports STREQUAL "")
  pe_fail("${IMAGE} has no import table")
endif()

# One block per DLL: "DLL Name: X", a header line, then "vma hint name" lines.
string(REGEX MATCHALL "DLL Name: [^\n]+\n[^\n]*\n([^\n]+\n)*" blocks "${imports}")
set(dlls "")
set(problems "")
foreach(block IN LISTS blocks)
  string(REGEX MATCH "DLL Name: ([^\n]+)" _ "${block}")
  string(STRIP "${CMAKE_MATCH_1}" dll)
  string(TOUPPER "${dll}" key)
  list(APPEND dlls ${key})
  string(REGEX MATCHALL "\n\t[0-9a-fA-F]+\t +[0-9]+ +[^\n]*" entries "${block}")
  set(functions_${key} "")
  foreach(entry IN LISTS entries)
    string(REGEX REPLACE "^\n\t[0-9a-fA-F]+\t +[0-9]+ +" "" name "${entry}")
    string(STRIP "${name}" name)
    if(name STREQUAL "" OR name STREQUAL "<none>")
      list(APPEND problems "an import from ${dll} by ordinal only")
    else()
      list(APPEND functions_${key} ${name})
    endif()
  endforeach()
endforeach()

set(expected "")
foreach(dll IN LISTS DLLS)
  string(TOUPPER "${dll}" key)
  list(APPEND expected ${key})
endforeach()
pe_compare_lists(dlls expected "imports from unexpected DLLs" "imports nothing from" problems)

if(CLIENT_DLL)
  string(TOUPPER "${CLIENT_DLL}" key)
  read_module_definition(${CLIENT_DEF} listed)
  pe_compare_lists(functions_${key} listed "imported from ${CLIENT_DLL} but not in ${CLIENT_DEF}"
                   "listed in ${CLIENT_DEF} but never called" problems)
endif()

foreach(requirement IN LISTS REQUIRED)
  string(REPLACE ":" ";" requirement "${requirement}")
  list(GET requirement 0 dll)
  list(GET requirement 1 function)
  string(TOUPPER "${dll}" key)
  if(NOT function IN_LIST functions_${key})
    list(APPEND problems "${function} is not imported from ${dll}")
  endif()
endforeach()

pe_report(problems "import table of ${IMAGE}")
list(JOIN DLLS ", " DLLS)
message(STATUS "${IMAGE} imports from ${DLLS} only")
