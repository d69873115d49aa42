#pragma once
// The boot loader's USB descriptors as they travel on the wire.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/sim_config.h"

namespace kestrune {

inline constexpr std::uint8_t kSimManufacturerString = 1;
inline constexpr std::uint8_t kSimProductString = 2;
inline constexpr std::uint8_t kSimSerialString = 3;
inline constexpr std::uint8_t kSimFirstInterfaceString = 4;  // alternate a uses 4 + a
inline constexpr std::size_t kSimMaxStringLength = 126;

std::vector<std::uint8_t> SimDeviceDescriptor(const SimDeviceConfig& config);
// Configuration, one interface descriptor per alternate setting, then the DFU functional
// descriptor.
std::vector<std::uint8_t> SimConfigurationDescriptor(const SimDeviceConfig& config);
// String `index` in UTF-16LE (index 0: the language ids); none for an unknown index.
std::optional<std::vector<std::uint8_t>> SimStringDescriptor(const SimDeviceConfig& config,
                                                             std::uint8_t index);

}  // namespace kestrune
