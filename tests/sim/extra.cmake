# The simulated bench behind the libusb API, preloaded into dfu-util so that an independent DFU
# host is tested against the simulator. Built without sanitizers: the program it is preloaded
# into has none.
if(NOT WIN32 AND LIBUSB_FOUND AND NOT KESTRUNE_SANITIZE)
  file(GLOB sim_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/sim/*.cpp)
  add_library(kestrune_sim_libusb SHARED ${dir}/peer/libusb_sim.cpp ${sim_sources}
    ${PROJECT_SOURCE_DIR}/src/device/guid_text.cpp
    ${PROJECT_SOURCE_DIR}/src/dfu/option_bits.cpp
    ${PROJECT_SOURCE_DIR}/src/platform/clock.cpp
    ${PROJECT_SOURCE_DIR}/src/support/ascii_case.cpp
    ${PROJECT_SOURCE_DIR}/src/platform/posix/system_clock.cpp)
  target_include_directories(kestrune_sim_libusb PRIVATE ${PROJECT_SOURCE_DIR}/src ${LIBUSB_INCLUDE_DIRS})
  target_compile_options(kestrune_sim_libusb PRIVATE -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Werror)
  target_link_libraries(kestrune_sim_libusb PRIVATE kestrune_json Threads::Threads)
  add_dependencies(${target} kestrune_sim_libusb)
  target_compile_definitions(${target} PRIVATE
    KESTRUNE_SIM_LIBUSB="$<TARGET_FILE:kestrune_sim_libusb>")
endif()
