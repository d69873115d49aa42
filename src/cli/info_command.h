#pragma once
// `kestrune info`: one discovery, printed as the window's "Geräte-Infos" group shows it.

#include <cstdio>

#include "backend/device_backend.h"
#include "device/device_bus.h"

namespace kestrune::cli {

// Runs one discovery on `bus` and prints its fields (UTF-8), or with `json` one JSON object.
// Returns kExitOk when exactly one device was found and passed every check, kExitNoDevice when
// none or several were found (said on `err`; no fields without a device), kExitFailed otherwise.
int PrintDeviceInfo(DeviceBackend& backend, DeviceBus& bus, std::FILE* out, std::FILE* err,
                    bool json = false);
inline int PrintDeviceInfo(DeviceBackend& backend, std::FILE* out, std::FILE* err) {
  return PrintDeviceInfo(backend, backend.Bus(), out, err);
}

}  // namespace kestrune::cli
