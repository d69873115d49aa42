#pragma once
// The USB transport and device bus of the machine the program runs on: libusb with hot-plug on
// Linux, SetupDi and WinUSB on Windows.

#include <memory>

#include "device/device_bus.h"
#include "usb/usb_device.h"

namespace kestrune {

class PlatformUsb {
 public:
  virtual ~PlatformUsb() = default;
  virtual UsbBackend& Usb() = 0;
  virtual DeviceBus& Bus() = 0;
};

// Never null: where USB cannot be reached at all the bus finds no device.
std::unique_ptr<PlatformUsb> MakePlatformUsb(UsbOpenProblemSink problems);

}  // namespace kestrune
