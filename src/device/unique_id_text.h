#pragma once
// The unique ID as the window and the download log name a device.

#include <cstdint>
#include <string>

namespace kestrune {

// The bytes before the trailing run of ASCII letters and digits in hexadecimal groups of two
// bytes ("3100-4700-0E-"), then that run as characters.
std::string UniqueIdText(const std::uint8_t* uniqueId);

}  // namespace kestrune
