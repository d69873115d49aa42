#pragma once
// Device-interface notifications for a window: arrivals and removals of the classes that concern
// discovery, and of the HID class, reach it as WM_DEVICECHANGE. RegisterDeviceNotificationA is
// looked up in User32 when first needed; without it nothing is registered. The registrations end
// with the window.

#include <windows.h>

#include <vector>

#include "device/device_bus.h"

namespace kestrune::win32 {

class NotificationRegistrations {
 public:
  // Registers `window` for those of `classes` it is not registered for yet, and for the HID class
  // the first time. Returns the number of registrations made.
  int Register(HWND window, const std::vector<Guid>& classes);

 private:
  std::vector<Guid> m_registered;
  bool m_hidTried = false;
};

}  // namespace kestrune::win32
