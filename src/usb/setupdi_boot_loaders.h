#pragma once
// The boot loader's USB devices (VID 0483, PID DF11) that Windows has present, whatever driver is
// bound to them: the device-interface classes their registry key names (written by our INF or by
// a generic WinUSB installer) and the service of the bound driver. The bus finds through these
// classes a device that a generic installer gave a class of its own, and reports a device that
// no WinUSB binding reaches.

#include <optional>
#include <string>
#include <vector>

#include "device/device_bus.h"
#include "usb/winusb_api.h"

namespace kestrune {

struct BootLoaderDevice {
  std::string instanceId;              // "USB\VID_0483&PID_DF11\..."
  std::string service;                 // the bound driver's service, "" when none is bound
  std::vector<Guid> interfaceClasses;  // from DeviceInterfaceGUIDs or DeviceInterfaceGUID
};

// Nothing when the set of present USB devices cannot be obtained.
std::optional<std::vector<BootLoaderDevice>> FindBootLoaderDevices(const WinUsbApi& api);

// Whether `service` is WinUSB's own.
bool IsWinUsbService(const std::string& service);

// Whether an interface path belongs to the boot loader (its hardware IDs are part of the path).
bool IsBootLoaderPath(const std::string& path);

}  // namespace kestrune
