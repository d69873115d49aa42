# The WinUSB and SetupDi tests and their fake device stack build on Windows only.
if(NOT WIN32)
  get_target_property(usb_test_sources ${target} SOURCES)
  list(FILTER usb_test_sources EXCLUDE REGEX "/(winusb_test|setupdi_[^/]*|fake_winusb_stack)\\.cpp$")
  set_target_properties(${target} PROPERTIES SOURCES "${usb_test_sources}")
endif()
