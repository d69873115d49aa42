#pragma once
// Firmware images for the sample file and the tests: a plausible Cortex-M4 flash image (vector
// table at offset 0, written at 0x08000000) with a header and a word sum of 0x44332211.

#include <cstdint>
#include <string>
#include <vector>

namespace kestrune {

struct FirmwareImageRecipe {
  std::string deviceType = "KST-F4";
  std::string version = "2.4.1";
  std::uint8_t hardwareCode = 3;
  std::string date = "Dec 10 2026 11:50:00";
  std::uint32_t size = 48 * 1024;
  std::uint32_t headerOffset = 0x200;
  // Bring the word sum to 0x44332211 with the last complete word of the image.
  bool balanced = true;
};

// Needs room for the vector table, the header and the correction word (size >= 1 KiB).
std::vector<std::uint8_t> BuildFirmwareImage(const FirmwareImageRecipe& recipe = {});

// Writes the header at `offset`: the marker, then the texts cut to their fields (a text that fills
// its field has no terminator) and the hardware code.
void PutFirmwareHeader(std::vector<std::uint8_t>& image, std::size_t offset,
                       const FirmwareImageRecipe& recipe);

// Sets the little-endian word at `offset` so that the image's word sum becomes 0x44332211.
void BalanceWordSum(std::vector<std::uint8_t>& image, std::size_t offset);

}  // namespace kestrune
