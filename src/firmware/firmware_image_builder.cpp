#include "firmware/firmware_image_builder.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "firmware/firmware_image.h"

namespace kestrune {
namespace {

constexpr std::uint32_t kFlashBase = 0x08000000;
constexpr std::uint32_t kStackTop = 0x20020000;  // end of the 128 KiB main SRAM
constexpr std::uint32_t kVectorCount = 98;       // 16 system vectors and 82 interrupts
constexpr std::uint32_t kCodeOffset = 0x400;

void PutWord(std::vector<std::uint8_t>& image, std::size_t offset, std::uint32_t value) {
  for (int k = 0; k < 4; ++k) {
    image[offset + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(value >> (8 * k));
  }
}

void PutText(std::vector<std::uint8_t>& image, std::size_t offset, const std::string& text,
             std::uint32_t field) {
  std::memcpy(image.data() + offset, text.data(), std::min<std::size_t>(text.size(), field));
}

}  // namespace

void PutFirmwareHeader(std::vector<std::uint8_t>& image, std::size_t offset,
                       const FirmwareImageRecipe& recipe) {
  if (offset + kFirmwareHeaderSize > image.size()) {
    throw std::invalid_argument("header beyond the image");
  }
  std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(offset), kFirmwareHeaderSize, 0);
  std::memcpy(image.data() + offset, kFirmwareHeaderMarker, kFirmwareMarkerSize);
  PutText(image, offset + kDeviceTypeOffset, recipe.deviceType, kDeviceTypeSize);
  PutText(image, offset + kVersionOffset, recipe.version, kVersionSize);
  image[offset + kHardwareCodeOffset] = recipe.hardwareCode;
  PutText(image, offset + kDateOffset, recipe.date, kDateSize);
}

void BalanceWordSum(std::vector<std::uint8_t>& image, std::size_t offset) {
  PutWord(image, offset, 0);
  PutWord(image, offset, kGoodWordSum - WordSum(image));
}

std::vector<std::uint8_t> BuildFirmwareImage(const FirmwareImageRecipe& recipe) {
  if (recipe.size < kCodeOffset + 4 ||
      recipe.headerOffset + kFirmwareHeaderSize > recipe.size - 4) {
    throw std::invalid_argument("image too small for its header");
  }
  std::vector<std::uint8_t> image(recipe.size, 0xFF);  // erased flash
  // Vector table: initial stack pointer, then Thumb handlers in the code area.
  PutWord(image, 0, kStackTop);
  for (std::uint32_t k = 1; k < kVectorCount; ++k) {
    PutWord(image, k * 4, (kFlashBase + kCodeOffset + k * 8) | 1u);
  }
  // Code and data: a fixed pseudo-random stream, the same on every build, ending in padding.
  std::uint32_t state = 0x4B535452;
  const std::uint32_t codeEnd = recipe.size - recipe.size / 8;
  for (std::uint32_t offset = kCodeOffset; offset < codeEnd; ++offset) {
    state = state * 1664525u + 1013904223u;
    image[offset] = static_cast<std::uint8_t>(state >> 24);
  }
  PutFirmwareHeader(image, recipe.headerOffset, recipe);
  if (recipe.balanced) {
    BalanceWordSum(image, (recipe.size / 4 - 1) * 4);
  }
  return image;
}

}  // namespace kestrune
