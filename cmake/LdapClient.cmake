# The LDAP C client library (OpenLDAP's libldap and liblber on Debian).
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
message(STATUS "LDAP client library soname: ${LDAP_SONAME}")
