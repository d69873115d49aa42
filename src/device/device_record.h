#pragma once
// What a discovery learnt of the device it opened, as values rather than the texts a window
// shows: the record that machine-readable output is made from. Nothing here is guessed: a value
// discovery did not learn stays empty.

#include <cstdint>
#include <optional>
#include <string>

#include "device/device_identity.h"
#include "device/enumerate.h"

namespace kestrune {

struct DeviceRecord {
  std::int32_t deviceCount = 0;
  std::optional<std::string> path;  // the device opened; none when none was
  std::optional<UsbDescriptorValues> descriptors;
  // A DfuSe device of the right class with a usable memory map.
  bool passedChecks = false;
  std::optional<std::uint32_t> flashBytes;  // writable flash, once the checks passed
  IdentityState identityState = IdentityState::NotRead;
  std::optional<std::string> uniqueId;  // as the download log names the device (8-bit text)
  std::optional<DeviceIdentity> identity;
  std::optional<std::uint32_t> identityBlock;
  std::optional<std::uint32_t> freeOtpBlocks;  // once the OTP area was read
};

DeviceRecord RecordOf(const Discovery& found);

}  // namespace kestrune
