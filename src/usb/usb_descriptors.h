#pragma once
// Reading the standard USB descriptors that a DFU host needs. The bytes come from a device and
// are untrusted: every function stays within the given span and rejects what does not fit.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace kestrune {

inline constexpr std::uint8_t kDeviceDescriptorType = 0x01;
inline constexpr std::uint8_t kConfigurationDescriptorType = 0x02;
inline constexpr std::uint8_t kStringDescriptorType = 0x03;
inline constexpr std::uint8_t kInterfaceDescriptorType = 0x04;
inline constexpr std::uint8_t kDfuFunctionalDescriptorType = 0x21;

struct DfuInterfaceInfo {
  std::uint8_t interfaceNumber = 0;
  std::uint32_t alternateCount = 0;
  // bLength, bDescriptorType, bmAttributes, wDetachTimeOut, wTransferSize, bcdDFUVersion; a
  // shorter descriptor (DFU 1.0 has 7 bytes) is padded with zeros.
  std::array<std::uint8_t, 9> functional{};
};

// The first interface of class 0xFE subclass 0x01 in a whole configuration descriptor, with its
// count of alternate settings and the DFU functional descriptor that belongs to it. Nothing
// when there is none or the functional descriptor is missing. A malformed descriptor ends the
// walk.
std::optional<DfuInterfaceInfo> FindDfuInterface(std::span<const std::uint8_t> configuration);

// The 9-byte interface descriptor of (interfaceNumber, alternate) in a configuration descriptor.
std::optional<std::array<std::uint8_t, 9>> FindInterfaceDescriptor(
    std::span<const std::uint8_t> configuration, std::uint8_t interfaceNumber,
    std::uint8_t alternate);

// The text of a string descriptor (UTF-16LE after the two header bytes) as Windows-1252; what
// has no Windows-1252 byte becomes '?', and the text ends at the first U+0000. Nothing when the
// bytes are not a string descriptor.
std::optional<std::string> StringDescriptorText(std::span<const std::uint8_t> descriptor);

// The first language id of string descriptor 0, if it has one.
std::optional<std::uint16_t> FirstLanguageId(std::span<const std::uint8_t> descriptor);

}  // namespace kestrune
