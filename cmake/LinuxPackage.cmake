# An installed program reads and writes its Infos folder in the user's data folder (see README);
# the samples installed here show what goes there.
# Debian names the documentation folder after the package.
set(CMAKE_INSTALL_DOCDIR share/doc/kestrune)
include(GNUInstallDirs)
install(TARGETS kestrune RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/Infos/MacList.cfg ${PROJECT_SOURCE_DIR}/Infos/NextSerial.cfg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/kestrune/Infos)
if(NOT CMAKE_CROSSCOMPILING)
  # The help text as the program prints it, so that it cannot differ from the program's own.
  set(help_text ${CMAKE_BINARY_DIR}/kestrune-help.txt)
  add_custom_command(OUTPUT ${help_text} COMMAND kestrune --help > ${help_text} DEPENDS kestrune)
  add_custom_target(kestrune-help ALL DEPENDS ${help_text})
  install(FILES ${help_text} DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # udev reads /usr/lib/udev/rules.d, where the package puts it; under another prefix it is
  # copied to /etc/udev/rules.d by hand (README).
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/linux/60-kestrune.rules
          DESTINATION lib/udev/rules.d)
endif()
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# The libraries the program links, found by dpkg-shlibdeps (from dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
