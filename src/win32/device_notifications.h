#pragma once
// Device-interface notifications for a window: arrivals and removals of the two DFU interface
// classes and of the HID class reach it as WM_DEVICECHANGE. RegisterDeviceNotificationA is looked
// up in User32 when first needed; without it nothing is registered. The registrations end with
// the window.

#include <windows.h>

namespace kestrune::win32 {

// The number of classes registered (0 to 3).
int RegisterDeviceInterfaceNotifications(HWND window);

}  // namespace kestrune::win32
