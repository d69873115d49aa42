#pragma once
// Every attached DFU device, each discovered on its own: what a bench with several devices shows
// before one of them is chosen by its path or its USB serial number.

#include <string>
#include <vector>

#include "device/device_bus.h"
#include "device/enumerate.h"
#include "dfu/stdfu.h"
#include "platform/clock.h"

namespace kestrune {

struct ListedDevice {
  std::string path;
  std::string usbSerialNumber;  // empty when the device has none or it could not be read
  Discovery discovery;          // of this device as if it were the only one
};

// The USB serial number of the device `found` opened; empty when it has none or it could not be
// read.
std::string UsbSerialNumberOf(StdfuLibrary& dfu, const Discovery& found);

// The present interfaces of both classes in discovery's order.
std::vector<std::string> PresentDevicePaths(DeviceBus& bus);

// Discovers every present device; devices that cannot be opened are listed with what was learnt.
std::vector<ListedDevice> ListDevices(StdfuLibrary& dfu, DeviceBus& bus, Clock& clock);

// The listed devices that `choice` names: by path or by USB serial number, in either case any
// case (a serial read off a label is typed as it comes).
std::vector<const ListedDevice*> DevicesNamed(const std::vector<ListedDevice>& devices,
                                              const std::string& choice);

}  // namespace kestrune
