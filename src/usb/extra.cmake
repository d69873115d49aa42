# Each platform builds its own USB transport and device bus: libusb on Linux, SetupDi and WinUSB
# on Windows.
get_target_property(usb_sources ${target} SOURCES)
if(WIN32)
  list(FILTER usb_sources EXCLUDE REGEX "/libusb_[^/]*\\.cpp$")
  target_link_libraries(${target} PUBLIC setupapi winusb)
else()
  list(FILTER usb_sources EXCLUDE REGEX "/(winusb|setupdi)_[^/]*\\.cpp$")
  if(NOT LIBUSB_FOUND)
    message(FATAL_ERROR "libusb-1.0 is needed for the USB transport: install libusb-1.0-0-dev")
  endif()
  target_link_libraries(${target} PUBLIC PkgConfig::LIBUSB)
endif()
set_target_properties(${target} PROPERTIES SOURCES "${usb_sources}")
