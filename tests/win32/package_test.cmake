# Builds the Windows packages from the build tree and checks what the ZIP holds; the installer,
# where NSIS made one, must be a Windows program. Run by CTest as
#   cmake -DBINARY_DIR=<build> -DOUTPUT_DIR=<dir> -P package_test.cmake
file(REMOVE_RECURSE ${OUTPUT_DIR})
execute_process(COMMAND ${CMAKE_CPACK_COMMAND} --config ${BINARY_DIR}/CPackConfig.cmake
                        -B ${OUTPUT_DIR}
                RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(failed)
  message(FATAL_ERROR "cpack failed: ${failed}\n${output}")
endif()

file(GLOB zips ${OUTPUT_DIR}/kestrune-*-win64.zip)
list(LENGTH zips count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "not one ZIP package: '${zips}'\n${output}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${zips} OUTPUT_VARIABLE listing
                RESULT_VARIABLE failed)
string(REGEX REPLACE "[^\n]*kestrune-[^/\n]*-win64/" "" listing "${listing}")
string(REGEX REPLACE "\n$" "" listing "${listing}")
string(REPLACE "\n" ";" files "${listing}")
list(FILTER files EXCLUDE REGEX "/$")
list(SORT files)
set(expected Infos/MacList.cfg Infos/NextSerial.cfg Kestrune.exe docs/simulator.md docs/windows.md
    driver/kestrune-winusb.inf examples/two-devices.json kestrune-cli.exe)
list(SORT expected)
if(NOT files STREQUAL expected)
  message(FATAL_ERROR "the ZIP holds\n  ${files}\nnot\n  ${expected}")
endif()

file(GLOB installers ${OUTPUT_DIR}/kestrune-*-win64.exe)
if(installers)
  file(READ ${installers} head LIMIT 2 HEX)
  if(NOT head STREQUAL "4d5a")  # "MZ"
    message(FATAL_ERROR "the installer is no Windows program: ${installers}")
  endif()
  message(STATUS "installer: ${installers}")
elseif(MAKENSIS)
  message(FATAL_ERROR "NSIS is installed but made no installer\n${output}")
endif()
message(STATUS "the ZIP holds the programs, Infos, the driver package and the guides")
