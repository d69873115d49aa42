#include <windows.h>

#include "platform/platform.h"

namespace kestrune {

std::string GetHostName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  if (!GetComputerNameA(name, &size)) return {};
  return std::string(name, size);
}

}  // namespace kestrune
