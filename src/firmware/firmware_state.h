#pragma once
// The verdict on the chosen firmware file. A run is refused in states 0 to 3.

#include <cstdint>

namespace kestrune {

enum class FirmwareState : std::int32_t {
  NoFile = 0,         // no header, and the path names no plain file
  WrongFormat = 1,    // a plain file without a header (or one that cannot be read)
  BadChecksum = 2,    // header found, word sum wrong
  WrongHardware = 3,  // sum right, hardware code neither 2 nor 3
  TooLarge = 4,       // sum and code right, size 1 MiB or more, or unknown
  Valid = 5,
};

// "NoFile", "WrongFormat", ... for people reading a log or a terminal.
const char* FirmwareStateName(FirmwareState state);

}  // namespace kestrune
