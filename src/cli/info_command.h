#pragma once
// `kestrune info`: one discovery, printed as the window's "Geräte-Infos" group shows it.

#include <cstdio>

#include "cli/device_backend.h"

namespace kestrune::cli {

// Runs one discovery on the backend and prints its fields (UTF-8). Returns kExitOk when exactly
// one device was found and passed every check, kExitFailed otherwise.
int PrintDeviceInfo(DeviceBackend& backend, std::FILE* out);

}  // namespace kestrune::cli
