#pragma once
// A firmware file read whole, as a run programs it.

#include <cstdint>
#include <string>
#include <vector>

namespace kestrune {

struct FirmwareImage {
  std::vector<std::uint8_t> bytes;  // a buffer of kFirmwareSizeLimit bytes
  std::int64_t size = 0;            // bytes read of the file
};

// A file beyond the buffer reads as capacity - 2 bytes and so is refused by the plan as too
// large; a missing file has size 0.
FirmwareImage LoadFirmwareImage(const std::string& path);

}  // namespace kestrune
