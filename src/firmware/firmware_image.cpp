#include "firmware/firmware_image.h"

#include <algorithm>
#include <cstring>

#include "platform/platform.h"

namespace kestrune {

std::uint32_t WordSum(std::span<const std::uint8_t> bytes) {
  std::uint32_t sum = 0;
  const std::size_t words = bytes.size() / 4;
  for (std::size_t k = 0; k < words; ++k) {
    const std::uint8_t* w = bytes.data() + k * 4;
    sum += std::uint32_t{w[0]} | std::uint32_t{w[1]} << 8 | std::uint32_t{w[2]} << 16 |
           std::uint32_t{w[3]} << 24;
  }
  return sum;
}

std::int64_t FindFirmwareHeader(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kFirmwareHeaderSize) {
    return -1;
  }
  const std::size_t last = bytes.size() - kFirmwareHeaderSize;
  for (std::size_t i = 0; i <= last; ++i) {
    if (std::memcmp(bytes.data() + i, kFirmwareHeaderMarker, kFirmwareMarkerSize) == 0) {
      return static_cast<std::int64_t>(i);
    }
  }
  return -1;
}

bool ScanFirmwareFile(const char* path, FirmwareHeader& header, std::uint32_t& sum) {
  header.fill(0);
  sum = 0;
  const ReadOnlyFileMapping mapping(path);
  if (!mapping.IsMapped()) {
    return false;
  }
  const std::span<const std::uint8_t> bytes(mapping.Data(), mapping.Size());
  sum = WordSum(bytes);
  const std::int64_t offset = FindFirmwareHeader(bytes);
  if (offset < 0) {
    return false;
  }
  std::copy_n(bytes.begin() + offset, kFirmwareHeaderSize, header.begin());
  return true;
}

}  // namespace kestrune
