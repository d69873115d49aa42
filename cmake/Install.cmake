# `cmake --install` and the packages. On Linux (`cpack -G DEB`): the program, the sample Infos
# files, the help text and the udev rule that lets ordinary users open the boot loader. On
# Windows (`cpack`: a ZIP and, where NSIS is installed, an installer): both programs side by side
# with their Infos folder, the WinUSB driver package and the guides.
set(CPACK_PACKAGE_NAME kestrune)
set(CPACK_PACKAGE_VENDOR Quorvel)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Programs, verifies and logs STM32F4 devices in their USB DFU boot loader")
set(CPACK_PACKAGE_CONTACT "Kestrune maintainers <kestrune@localhost>")
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/WindowsPackage.cmake)
else()
  include(${CMAKE_CURRENT_LIST_DIR}/LinuxPackage.cmake)
endif()
include(CPack)
