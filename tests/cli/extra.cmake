# The built program itself, started as an operator would (under Wine for the Windows build):
# it finds the default simulated device beside it.
add_test(NAME cli-executable COMMAND kestrune --simulate info)
set_tests_properties(cli-executable PROPERTIES PASS_REGULAR_EXPRESSION "anzahl : 1" TIMEOUT 300)
# The commands find their Infos folder and the simulated device's images in the user's folders
# when none is beside them: keep those inside the build tree.
target_compile_definitions(${target} PRIVATE KESTRUNE_VERSION="${PROJECT_VERSION}")
set_tests_properties(cli PROPERTIES ENVIRONMENT
  "XDG_DATA_HOME=${CMAKE_BINARY_DIR}/user/data;XDG_STATE_HOME=${CMAKE_BINARY_DIR}/user/state")
# Installed into a fresh prefix, the program runs as a user would start it (native only).
if(NOT CMAKE_CROSSCOMPILING)
  add_test(NAME cli-install COMMAND ${CMAKE_COMMAND} -DBINARY_DIR=${CMAKE_BINARY_DIR}
           -DPREFIX=${CMAKE_BINARY_DIR}/install-test -P ${dir}/install_test.cmake)
endif()
# Some tests start the built program as a process of its own.
add_dependencies(${target} kestrune)
target_compile_definitions(${target} PRIVATE KESTRUNE_PROGRAM="$<TARGET_FILE:kestrune>")
# The built program on the simulated bench behind the libusb API, and on a pseudo-terminal: native
# Linux without sanitizers, where the simulated libusb is built.
if(TARGET kestrune_sim_libusb)
  add_dependencies(${target} kestrune_sim_libusb)
  target_compile_definitions(${target} PRIVATE
    KESTRUNE_SIM_LIBUSB="$<TARGET_FILE:kestrune_sim_libusb>")
else()
  get_target_property(cli_test_sources ${target} SOURCES)
  list(FILTER cli_test_sources EXCLUDE REGEX "/(libusb_end_to_end|terminal)_test\\.cpp$")
  set_target_properties(${target} PROPERTIES SOURCES "${cli_test_sources}")
endif()
