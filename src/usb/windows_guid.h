#pragma once
// The portable Guid as the Windows API takes it.

#include <windows.h>

#include <cstring>

#include "device/device_bus.h"

namespace kestrune {

inline GUID ToWindowsGuid(const Guid& guid) {
  GUID result{guid.data1, guid.data2, guid.data3, {}};
  std::memcpy(result.Data4, guid.data4, sizeof result.Data4);
  return result;
}

}  // namespace kestrune
