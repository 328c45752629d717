# The Debian package of the tool (`make deb`): bin/updpack and the stub in
# share/updpack/, from the install rules of tools/.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME updpack)
set(CPACK_PACKAGE_VENDOR "updpack")
set(CPACK_PACKAGE_CONTACT "updpack maintainers <updpack@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "builds self-extracting update packages for Windows programs")
set(CPACK_PACKAGE_INSTALL_DIRECTORY /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
find_program(DPKG_SHLIBDEPS_PROGRAM dpkg-shlibdeps)
if(DPKG_SHLIBDEPS_PROGRAM)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
endif()
include(CPack)
