# The Windows programs are portable: each finds Infos beside itself, so the package keeps them
# side by side in one folder. The installer puts that folder under Program Files and lets the
# machine's users change Infos, where every verified run is logged.
install(TARGETS Kestrune kestrune RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/Infos/MacList.cfg ${PROJECT_SOURCE_DIR}/Infos/NextSerial.cfg
        DESTINATION Infos)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/windows/kestrune-winusb.inf DESTINATION driver)
install(FILES ${PROJECT_SOURCE_DIR}/docs/windows.md ${PROJECT_SOURCE_DIR}/docs/simulator.md
        DESTINATION docs)
install(FILES ${PROJECT_SOURCE_DIR}/examples/two-devices.json DESTINATION examples)

set(CPACK_SYSTEM_NAME win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Kestrune)
set(CPACK_GENERATOR ZIP)
find_program(KESTRUNE_MAKENSIS makensis)
if(KESTRUNE_MAKENSIS)
  list(APPEND CPACK_GENERATOR NSIS)
endif()
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_DISPLAY_NAME Kestrune)
set(CPACK_NSIS_PACKAGE_NAME Kestrune)
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/src/win32/res/kestrune.ico)
set(CPACK_NSIS_INSTALLED_ICON_NAME Kestrune.exe)
# The Start-menu entry for the dialog, which sits at the top of the installed folder.
set(CPACK_PACKAGE_EXECUTABLES Kestrune Kestrune)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
# Users (S-1-5-32-545, whatever the language of Windows) may change Infos: the download log and
# the range files live there.
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS
    "nsExec::Exec '\\\"$SYSDIR\\\\icacls.exe\\\" \\\"$INSTDIR\\\\Infos\\\" /grant *S-1-5-32-545:(OI)(CI)M'")
