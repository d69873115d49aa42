#pragma once
// The interface path that a WM_DEVICECHANGE broadcast names. The broadcast says its own size;
// nothing is read beyond it, however it came.

#include <optional>
#include <string>

namespace kestrune {

// The name of a device-interface broadcast, up to its terminator or the end of the size it gives.
// None for no broadcast, for one of another device type, and for one too short to hold a name.
std::optional<std::string> DeviceInterfaceName(const void* broadcast);

}  // namespace kestrune
