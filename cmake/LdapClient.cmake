# The LDAP C client library: the target ldap_client (its headers, and the
# library to link for those that link it) and LDAP_CLIENT_FILE, the file name
# under which the system's loader finds the library, for code that loads it at
# run time instead of linking it.
#
# Linux: OpenLDAP's libldap and liblber as Debian installs them; the file name
# is libldap's soname, found at configure time.
#
# Windows: one DLL, PELLIS.DLL, offers both the LDAP and the LBER API. The
# build compiles against the OpenLDAP development headers installed on the
# build machine (copied into the build folder at configure time, never into the
# source tree) and links through an import library that dlltool generates from
# interfaces/client_library.def, which lists the entry points Tervane calls.

if(WIN32)
  set(LDAP_CLIENT_FILE "PELLIS.DLL")

  set(LDAP_HEADER_SOURCE_DIR /usr/include CACHE PATH
      "Folder with the OpenLDAP development headers (ldap.h, lber.h) the Windows build compiles against")
  set(LDAP_INCLUDE_DIR ${CMAKE_BINARY_DIR}/client_library/include)
  foreach(header ldap.h lber.h lber_types.h ldap_cdefs.h ldap_features.h)
    configure_file(${LDAP_HEADER_SOURCE_DIR}/${header} ${LDAP_INCLUDE_DIR}/${header} COPYONLY)
  endforeach()

  set(LDAP_CLIENT_DEF ${PROJECT_SOURCE_DIR}/interfaces/client_library.def)
  set(LDAP_IMPORT_LIBRARY ${CMAKE_BINARY_DIR}/client_library/libclient_library.dll.a)
  add_custom_command(
    OUTPUT ${LDAP_IMPORT_LIBRARY}
    COMMAND ${CMAKE_DLLTOOL} --input-def ${LDAP_CLIENT_DEF} --dllname ${LDAP_CLIENT_FILE}
            --output-lib ${LDAP_IMPORT_LIBRARY}
    DEPENDS ${LDAP_CLIENT_DEF}
    COMMENT "Generating the import library of ${LDAP_CLIENT_FILE}"
    VERBATIM)
  add_custom_target(ldap_client_import_library DEPENDS ${LDAP_IMPORT_LIBRARY})

  add_library(ldap_client INTERFACE)
  target_include_directories(ldap_client INTERFACE ${LDAP_INCLUDE_DIR})
  # Declares the library's functions as imported from a DLL.
  target_compile_definitions(ldap_client INTERFACE LDAP_LIBS_DYNAMIC)
  target_link_libraries(ldap_client INTERFACE ${LDAP_IMPORT_LIBRARY})
  add_dependencies(ldap_client ldap_client_import_library)
  message(STATUS "LDAP client library file: ${LDAP_CLIENT_FILE}")
  return()
endif()

find_path(LDAP_INCLUDE_DIR ldap.h REQUIRED)
find_library(LDAP_LIBRARY ldap REQUIRED)
find_library(LBER_LIBRARY lber REQUIRED)

add_library(ldap_client INTERFACE)
target_include_directories(ldap_client INTERFACE ${LDAP_INCLUDE_DIR})
target_link_libraries(ldap_client INTERFACE ${LDAP_LIBRARY} ${LBER_LIBRARY})

# The file name under which the dynamic loader knows libldap (its soname), for
# code that loads the library at run time instead of linking it.
execute_process(COMMAND readelf -d ${LDAP_LIBRARY}
                OUTPUT_VARIABLE _ldap_dynamic ERROR_QUIET)
string(REGEX MATCH "Library soname: \\[([^]]+)\\]" _ldap_soname_match "${_ldap_dynamic}")
set(LDAP_SONAME "${CMAKE_MATCH_1}")
if(NOT LDAP_SONAME)
  get_filename_component(LDAP_SONAME ${LDAP_LIBRARY} NAME)
endif()
set(LDAP_CLIENT_FILE "${LDAP_SONAME}")
message(STATUS "LDAP client library soname: ${LDAP_SONAME}")
