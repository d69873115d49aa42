#pragma once
// The firmware file that runs against a hostile device program: small, so that a run needs few
// answers, but larger than the smallest file a run accepts.

#include <string>

namespace kestrune::fuzz {

inline constexpr std::size_t kHostileFirmwareSize = 1500;

std::string HostileFirmwareBytes();
// Writes the file into the scratch folder and returns its path.
std::string WriteHostileFirmware();

}  // namespace kestrune::fuzz
