# Makes the Windows ZIP with cpack and checks what a user unpacks: both DLLs
# stripped of debug information, the header, the import library and the
# module definition file, the README, and, when the client library was built,
# PELLIS.DLL with OpenLDAP's licence beside it.
#
#   cmake -DCPACK=... -DBUILD_DIR=... -DWORK=... -DOBJDUMP=... -DCLIENT_DLL=... -P check_package.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND ${CPACK} -G ZIP -B ${WORK} WORKING_DIRECTORY ${BUILD_DIR}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cpack failed:\n${out}")
endif()
file(GLOB zip ${WORK}/*.zip)
list(LENGTH zip zips)
if(NOT zips EQUAL 1)
  message(FATAL_ERROR "expected one ZIP in ${WORK}, found: ${zip}")
endif()
file(ARCHIVE_EXTRACT INPUT ${zip} DESTINATION ${WORK}/unpacked)
file(GLOB top ${WORK}/unpacked/*)
set(expected bin/tervane.dll bin/kandrel.dll include/tervane.h lib/libtervane.dll.a lib/tervane.def README.txt)
if(EXISTS ${CLIENT_DLL})
  list(APPEND expected openldap-client/PELLIS.DLL openldap-client/LICENSE openldap-client/COPYRIGHT)
endif()
foreach(file IN LISTS expected)
  if(NOT EXISTS ${top}/${file})
    message(FATAL_ERROR "the package lacks ${file}")
  endif()
endforeach()
file(GLOB dlls ${top}/bin/*.dll ${top}/openldap-client/*.DLL)
foreach(dll IN LISTS dlls)
  execute_process(COMMAND ${OBJDUMP} -h ${dll} OUTPUT_VARIABLE sections)
  if(sections MATCHES "\\.debug")
    message(FATAL_ERROR "${dll} keeps debug sections")
  endif()
endforeach()
message(STATUS "package ${zip}: ${expected}")
