#include "device/device_path.h"

#include <algorithm>
#include <cctype>

namespace kestrune {

bool SameDevicePath(const std::string& a, const std::string& b) {
  return SameIgnoringCase(a, b);
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

}  // namespace kestrune
