# What `cmake --install` puts beside Tervane (whose rules are in
# tervane/CMakeLists.txt and cli/CMakeLists.txt): the Kandrel plug-in; and a
# .deb of the whole with `cpack -G DEB`.
include(GNUInstallDirs)
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
