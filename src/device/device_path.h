#pragma once

#include <string>

namespace kestrune {

// Interface paths name the same device whatever the case of their letters (Windows writes them
// in either).
bool SameDevicePath(const std::string& a, const std::string& b);

// Equal but for the case of ASCII letters.
bool SameIgnoringCase(const std::string& a, const std::string& b);

}  // namespace kestrune
