#pragma once
// The Windows platform over a table of Windows functions: the real ones for the program, a fake
// device stack in tests.

#include <memory>

#include "usb/platform_usb.h"
#include "usb/winusb_api.h"

namespace kestrune {

std::unique_ptr<PlatformUsb> MakeWinUsbPlatform(const WinUsbApi& api, UsbOpenProblemSink problems,
                                                DeviceNotifications notifications);

}  // namespace kestrune
