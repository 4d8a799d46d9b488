# What `cmake --install` puts beside Tervane (whose rules are in
# tervane/CMakeLists.txt and cli/CMakeLists.txt): the Kandrel plug-in; and a
# .deb of the whole with `cpack -G DEB`. On Windows: a ZIP with both DLLs,
# the header, the import library, the client library built from OpenLDAP's
# sources when it was built (target openldap_client_dll), the licences and a
# README of its own; the DLLs stripped of debug information.
include(GNUInstallDirs)
if(WIN32)
  if(TARGET kandrel)
    install(TARGETS kandrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/tervane/tervane.def DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(FILES ${OPENLDAP_CLIENT_DLL} ${OPENLDAP_CLIENT_FOLDER}/LICENSE ${OPENLDAP_CLIENT_FOLDER}/COPYRIGHT
          DESTINATION openldap-client OPTIONAL)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/windows/README.txt DESTINATION .)
  set(CPACK_PACKAGE_NAME tervane)
  get_target_property(CPACK_PACKAGE_VERSION tervane VERSION)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_PACKAGE_FILE_NAME tervane-${CPACK_PACKAGE_VERSION}-windows-${OPENLDAP_CLIENT_ARCH})
  include(CPack)
  return()
endif()
if(TARGET kandrel)
  install(TARGETS kandrel LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()

set(CPACK_PACKAGE_NAME tervane)
get_target_property(CPACK_PACKAGE_VERSION tervane VERSION)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Directory administration extensions over LDAP, the tervane command and the Kandrel plug-in")
set(CPACK_PACKAGE_CONTACT "LDAP extensions maintainers <ldap-extensions@localhost>")
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libldap-2.5-0 | libldap2")
include(CPack)
