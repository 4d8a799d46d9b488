# The LDAP client library for Windows, built from Debian's source package of
# OpenLDAP by tools/build-client-dll.sh into the build folder and kept there:
# the target openldap_client_dll (built on demand, not by default: it needs
# the source package) and OPENLDAP_CLIENT_DLL, the file, with OpenLDAP's
# LICENSE and COPYRIGHT in OPENLDAP_CLIENT_FOLDER beside it.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(OPENLDAP_CLIENT_ARCH x86_64)
else()
  set(OPENLDAP_CLIENT_ARCH i686)
endif()
set(OPENLDAP_CLIENT_FOLDER ${CMAKE_BINARY_DIR}/openldap-client)
set(OPENLDAP_CLIENT_DLL ${OPENLDAP_CLIENT_FOLDER}/${LDAP_CLIENT_FILE})
add_custom_command(OUTPUT ${OPENLDAP_CLIENT_DLL}
  COMMAND bash ${PROJECT_SOURCE_DIR}/tools/build-client-dll.sh ${OPENLDAP_CLIENT_ARCH} ${OPENLDAP_CLIENT_FOLDER}
  COMMENT "Building ${LDAP_CLIENT_FILE} from OpenLDAP's sources for ${OPENLDAP_CLIENT_ARCH}"
  VERBATIM)
add_custom_target(openldap_client_dll DEPENDS ${OPENLDAP_CLIENT_DLL})
