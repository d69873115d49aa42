#pragma once
// How large a firmware image may be, in one place: the description flags a file from 1 MiB on,
// a run takes only what the part's application flash holds behind the boot loader's reach.

#include <cstdint>

namespace kestrune {

// A described file is valid below this; it is also the buffer a run reads the file into.
inline constexpr std::uint32_t kFirmwareSizeLimit = 0x100000;
// A run programs files of 1024 bytes up to 0xF0000 bytes.
inline constexpr std::uint32_t kSmallestProgrammableImage = 1024;
inline constexpr std::uint32_t kLargestProgrammableImage = 0xF0000;

constexpr bool IsDescribableSize(std::uint64_t size) {
  return size < kFirmwareSizeLimit;
}

constexpr bool IsProgrammableSize(std::uint64_t size) {
  return size >= kSmallestProgrammableImage && size <= kLargestProgrammableImage;
}

static_assert(kLargestProgrammableImage < kFirmwareSizeLimit);

}  // namespace kestrune
