# `cpack` in a build tree makes a Debian package of what that build installs:
# a board build gives idstamp for powerpc (boards that run Debian), a host
# build idstamp-sim for developers' machines.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "the idstamp authors")
set(CPACK_PACKAGE_VENDOR "the idstamp authors")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)

if(IDSTAMP_TARGET_BOARD)
  set(CPACK_PACKAGE_NAME idstamp)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
      "keeps the board's MAC address, IPv4 settings and a string in its 1-Wire EEPROM")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE powerpc)
  set(CPACK_DEBIAN_PACKAGE_SECTION admin)
  # dpkg-shlibdeps cannot look into a cross sysroot. The dynamic binary needs
  # only the C library, at the newest symbol version it links against
  # (__libc_start_main@GLIBC_2.34 with glibc 2.34 or later on the build
  # machine); the package test compares the two.
  if(NOT IDSTAMP_STATIC)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34)")
  endif()
else()
  set(CPACK_PACKAGE_NAME idstamp-sim)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
      "idstamp against a simulated board, for trying the tool and making EEPROM images")
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
