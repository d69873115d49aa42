#include "usb/setupdi_broadcast.h"

#include <windows.h>

#include <dbt.h>

#include <cstddef>
#include <cstring>

namespace kestrune {

std::optional<std::string> DeviceInterfaceName(const void* broadcast) {
  if (broadcast == nullptr) return std::nullopt;
  // The size comes first in every broadcast: read alone, it says how much more may be read.
  DWORD size = 0;
  std::memcpy(&size, broadcast, sizeof size);
  constexpr std::size_t kNameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name);
  if (size <= kNameOffset) return std::nullopt;
  const auto* header = static_cast<const DEV_BROADCAST_HDR*>(broadcast);
  if (header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) return std::nullopt;
  const char* name = static_cast<const char*>(broadcast) + kNameOffset;
  return std::string(name, strnlen(name, size - kNameOffset));
}

}  // namespace kestrune
