# Each platform builds its own USB transport and device bus: libusb on Linux, SetupDi and WinUSB
# on Windows. Without libusb on Linux the null platform stands in: the program runs and finds no
# device (the simulator still works).
get_target_property(usb_sources ${target} SOURCES)
list(FILTER usb_sources EXCLUDE REGEX "/nousb_platform\\.cpp$")
if(WIN32)
  list(FILTER usb_sources EXCLUDE REGEX "/libusb_[^/]*\\.cpp$")
  target_link_libraries(${target} PUBLIC setupapi winusb)
else()
  list(FILTER usb_sources EXCLUDE REGEX "/(winusb|setupdi)_[^/]*\\.cpp$")
  if(LIBUSB_FOUND)
    target_link_libraries(${target} PUBLIC PkgConfig::LIBUSB)
  else()
    message(WARNING "libusb-1.0 not found (libusb-1.0-0-dev): the program finds no USB device")
    list(FILTER usb_sources EXCLUDE REGEX "/libusb_[^/]*\\.cpp$")
    list(APPEND usb_sources ${CMAKE_CURRENT_LIST_DIR}/nousb_platform.cpp)
  endif()
endif()
set_target_properties(${target} PROPERTIES SOURCES "${usb_sources}")
