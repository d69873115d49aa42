# Installs the build into an empty prefix and starts the installed program with a home folder of
# its own: it tells its version, and finds the default simulated device, whose memory it keeps
# in the user's state folder because no Infos folder stands beside it.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BINARY_DIR} --prefix ${PREFIX}/usr
                RESULT_VARIABLE failed OUTPUT_QUIET)
if(failed)
  message(FATAL_ERROR "cmake --install failed: ${failed}")
endif()
if(NOT EXISTS ${PREFIX}/usr/share/kestrune/Infos/MacList.cfg)
  message(FATAL_ERROR "the sample Infos files were not installed")
endif()
if(NOT EXISTS ${PREFIX}/usr/lib/udev/rules.d/60-kestrune.rules)
  message(FATAL_ERROR "the udev rule was not installed")
endif()

set(run ${CMAKE_COMMAND} -E env HOME=${PREFIX}/home --unset=XDG_STATE_HOME --unset=XDG_DATA_HOME
    ${PREFIX}/usr/bin/kestrune)
execute_process(COMMAND ${run} --version OUTPUT_VARIABLE version RESULT_VARIABLE failed)
if(failed OR NOT version MATCHES "^kestrune [0-9]+\\.[0-9]+")
  message(FATAL_ERROR "kestrune --version: ${failed} '${version}'")
endif()
execute_process(COMMAND ${run} --simulate info OUTPUT_VARIABLE info RESULT_VARIABLE failed)
if(failed OR NOT info MATCHES "anzahl : 1\n")
  message(FATAL_ERROR "kestrune --simulate info: ${failed} '${info}'")
endif()
if(NOT IS_DIRECTORY ${PREFIX}/home/.local/state/kestrune/simulator)
  message(FATAL_ERROR "the simulated device's memory is not in the user's state folder")
endif()
message(STATUS "${version}")
