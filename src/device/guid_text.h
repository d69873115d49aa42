#pragma once
// GUIDs as text in the registry form, as device interface paths end with them.

#include <string>

#include "device/device_bus.h"

namespace kestrune {

// "{3FE809AB-FB91-4CB5-A643-69670D52366E}": 38 characters, upper-case hexadecimal.
std::string FormatGuid(const Guid& guid);

}  // namespace kestrune
