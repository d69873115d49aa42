# The tests open the real dialogs: they link the program's resources and need a display, which
# the Wine runner provides with Xvfb. The Windows device stack is faked as in the USB tests, and
# the built Kestrune.exe is started as a process of its own.
target_sources(${target} PRIVATE ${KESTRUNE_WIN32_RESOURCES}
  ${PROJECT_SOURCE_DIR}/tests/usb/fake_winusb_stack.cpp)
add_dependencies(${target} Kestrune)
target_compile_definitions(${target} PRIVATE KESTRUNE_GUI_PROGRAM="$<TARGET_FILE:Kestrune>")
set_tests_properties(${name} PROPERTIES ENVIRONMENT "KESTRUNE_XVFB=1")
# The Windows package (a ZIP, and the installer where NSIS is installed) holds what it should.
add_test(NAME windows-package COMMAND ${CMAKE_COMMAND} -DBINARY_DIR=${CMAKE_BINARY_DIR}
         -DOUTPUT_DIR=${CMAKE_BINARY_DIR}/package-test -DMAKENSIS=${KESTRUNE_MAKENSIS}
         -P ${dir}/package_test.cmake)
set_tests_properties(windows-package PROPERTIES TIMEOUT 600)
