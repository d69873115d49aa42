// The machine's USB where the program is built without a USB library.

#include "usb/null_platform.h"

namespace kestrune {

std::unique_ptr<PlatformUsb> MakePlatformUsb(UsbOpenProblemSink, DeviceNotifications) {
  return MakeNullPlatformUsb();
}

}  // namespace kestrune
