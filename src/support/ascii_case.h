#pragma once
// Letters A to Z made lower case, nothing else touched: for the names Windows and USB compare
// without regard to case (device paths, hardware IDs, service names).

#include <string>

namespace kestrune {

std::string AsciiLower(std::string text);

}  // namespace kestrune
