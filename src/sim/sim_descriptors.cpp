#include "sim/sim_descriptors.h"

namespace kestrune {
namespace {

void Put16(std::vector<std::uint8_t>& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

// The texts are plain ASCII (the file loader checks it), so each byte is one UTF-16 unit. A
// descriptor holds at most 126 units.
std::vector<std::uint8_t> Utf16String(const std::string& text) {
  const std::string units = text.substr(0, kSimMaxStringLength);
  std::vector<std::uint8_t> out{static_cast<std::uint8_t>(2 + 2 * units.size()), 0x03};
  for (char c : units) Put16(out, static_cast<std::uint8_t>(c));
  return out;
}

}  // namespace

std::vector<std::uint8_t> SimDeviceDescriptor(const SimDeviceConfig& config) {
  std::vector<std::uint8_t> d{18, 0x01};
  Put16(d, 0x0100);  // bcdUSB
  d.insert(d.end(), {0x00, 0x00, 0x00, 64});
  Put16(d, config.vid);
  Put16(d, config.pid);
  Put16(d, config.bcdDevice);
  d.insert(d.end(), {kSimManufacturerString, kSimProductString, kSimSerialString, 1});
  return d;
}

std::vector<std::uint8_t> SimConfigurationDescriptor(const SimDeviceConfig& config) {
  const auto alternates = static_cast<std::uint8_t>(config.interfaceStrings.size());
  const std::uint16_t total = 9 + 9 * alternates + 9;
  std::vector<std::uint8_t> d{9, 0x02};
  Put16(d, total);
  d.insert(d.end(), {1, 1, 0, 0xC0, 0x32});  // one interface, self-powered, 100 mA
  for (std::uint8_t a = 0; a < alternates; ++a) {
    d.insert(d.end(), {9, 0x04, 0, a, 0, 0xFE, 0x01, 0x02,
                       static_cast<std::uint8_t>(kSimFirstInterfaceString + a)});
  }
  // Can download, can upload, will detach; not manifestation tolerant.
  d.insert(d.end(), {9, 0x21, 0x0B});
  Put16(d, 255);
  Put16(d, kSimTransferSize);
  Put16(d, config.bcdDFUVersion);
  return d;
}

std::optional<std::vector<std::uint8_t>> SimStringDescriptor(const SimDeviceConfig& config,
                                                             std::uint8_t index) {
  switch (index) {
    case 0:
      return std::vector<std::uint8_t>{4, 0x03, 0x09, 0x04};
    case kSimManufacturerString:
      return Utf16String("STMicroelectronics");
    case kSimProductString:
      return Utf16String("STM32  BOOTLOADER");
    case kSimSerialString:
      return Utf16String(config.serialNumber);
    default:
      break;
  }
  const std::size_t alternate = index - kSimFirstInterfaceString;
  if (index < kSimFirstInterfaceString || alternate >= config.interfaceStrings.size()) {
    return std::nullopt;
  }
  return Utf16String(config.interfaceStrings[alternate]);
}

}  // namespace kestrune
