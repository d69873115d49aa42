#pragma once
// The USB transport and device bus of the machine the program runs on: libusb with hot-plug on
// Linux, SetupDi and WinUSB on Windows.

#include <memory>
#include <vector>

#include "device/device_bus.h"
#include "usb/usb_device.h"

namespace kestrune {

class PlatformUsb {
 public:
  virtual ~PlatformUsb() = default;
  virtual UsbBackend& Usb() = 0;
  virtual DeviceBus& Bus() = 0;
  // The device-interface classes whose arrival and removal concern discovery, for a window that
  // registers for device notifications itself. Asked again after a discovery: the bus may have
  // learnt classes from the devices it found.
  virtual std::vector<Guid> NotificationClasses() {
    return {kDfuInterfaceClass, kSecondInterfaceClass};
  }
};

// Who listens for devices arriving and leaving: the bus itself (on a thread of its own where the
// platform needs one), or the front end's window, which hands the events to the dialog.
enum class DeviceNotifications { ByTheBus, ByTheWindow };

// Never null: where USB cannot be reached at all the bus finds no device. Why a present device
// cannot be used goes to `problems`.
std::unique_ptr<PlatformUsb> MakePlatformUsb(
    UsbOpenProblemSink problems, DeviceNotifications notifications = DeviceNotifications::ByTheBus);

}  // namespace kestrune
