#pragma once
// The option bytes a run leaves on every device (bytes 0, 1, 8 and 9 of the block): user
// options, read protection level 0, no write protection.

#include <cstdint>

#include "dfu/option_bits.h"

namespace kestrune {

inline constexpr OptionBits kRequiredOptionBytes = {0xE3, 0xAA, 0xFF, 0x3F};

// Whether `read` holds them in every bit that a part of `flashBytes` defines.
inline bool HasRequiredOptionBytes(const OptionBits& read, std::uint32_t flashBytes) {
  return SameDefinedOptionBits(read, kRequiredOptionBytes, flashBytes / 1024);
}

}  // namespace kestrune
