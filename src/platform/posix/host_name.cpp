#include <unistd.h>

#include "platform/platform.h"

namespace kestrune {

std::string GetHostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

}  // namespace kestrune
