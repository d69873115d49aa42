#pragma once
// The firmware image file: a raw flash image with a 72-byte header somewhere inside, whose 32-bit
// word sum comes out at a fixed value.

#include <array>
#include <cstdint>
#include <span>

#include "firmware/firmware_size.h"

namespace kestrune {

inline constexpr std::uint32_t kFirmwareHeaderSize = 72;
// Five '-' then "+++++-----": where the header starts.
inline constexpr char kFirmwareHeaderMarker[] = "-----+++++-----";
inline constexpr std::uint32_t kFirmwareMarkerSize = sizeof kFirmwareHeaderMarker - 1;
inline constexpr std::uint32_t kGoodWordSum = 0x44332211;

// Fields of the header: offset and size.
inline constexpr std::uint32_t kDeviceTypeOffset = 16;
inline constexpr std::uint32_t kDeviceTypeSize = 8;
inline constexpr std::uint32_t kVersionOffset = 24;
inline constexpr std::uint32_t kVersionSize = 7;
inline constexpr std::uint32_t kHardwareCodeOffset = 31;
inline constexpr std::uint32_t kDateOffset = 32;
inline constexpr std::uint32_t kDateSize = 40;

using FirmwareHeader = std::array<std::uint8_t, kFirmwareHeaderSize>;

// Sum modulo 2^32 of the complete little-endian 32-bit words from offset 0; 1 to 3 trailing bytes
// take no part.
std::uint32_t WordSum(std::span<const std::uint8_t> bytes);

// Offset of the first header (marker and 72 bytes inside the data), or -1.
std::int64_t FindFirmwareHeader(std::span<const std::uint8_t> bytes);

// Maps the file read-only and fills the header and the word sum. Both are written in every case:
// header all zero and sum 0 when the file cannot be mapped; the sum is the file's whenever it was
// mapped. Returns whether a header was found.
bool ScanFirmwareFile(const char* path, FirmwareHeader& header, std::uint32_t& sum);

}  // namespace kestrune
