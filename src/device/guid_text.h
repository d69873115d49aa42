#pragma once
// GUIDs as the registry writes them: "{3FE809AB-FB91-4CB5-A643-69670D52366E}".

#include <optional>
#include <string>
#include <string_view>

#include "device/device_bus.h"

namespace kestrune {

// 38 characters, upper-case hexadecimal, in braces.
std::string GuidText(const Guid& guid);
// The GUID of such a text (either case; braces required), or nothing.
std::optional<Guid> ParseGuid(std::string_view text);

}  // namespace kestrune
