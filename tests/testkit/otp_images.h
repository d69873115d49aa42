#pragma once
// OTP images as a device's OTP area reads, for the tests of what is decoded and shown of them.

#include <algorithm>
#include <array>
#include <cstdint>

#include "device/device_identity.h"

namespace kestrune::testkit {

// All blocks free, locks open, the given unique ID.
inline OtpImage BlankOtpImage(const std::array<std::uint8_t, 12>& uniqueId) {
  OtpImage image{};
  std::fill(image.begin(), image.begin() + kUniqueIdOffset, 0xFF);
  std::copy(uniqueId.begin(), uniqueId.end(), image.begin() + kUniqueIdOffset);
  return image;
}

inline void PutIdentityBlock(OtpImage& image, std::uint32_t index, const DeviceIdentity& identity) {
  const OtpBlock block = EncodeIdentity(identity);
  std::copy(block.begin(), block.end(), image.begin() + index * kOtpBlockSize);
}

// An identity assigned at 2014-05-17 13:45:09 UTC.
inline DeviceIdentity SampleIdentity(std::array<std::uint8_t, 6> mac, std::uint32_t serial,
                                     bool secondMac) {
  DeviceIdentity identity;
  identity.macA = mac;
  identity.serialNumber = serial;
  identity.hasSecondMac = secondMac;
  identity.assignmentTime = 1400334309;
  return identity;
}

// A unique ID that is letters and digits throughout, shown as it stands.
inline constexpr std::array<std::uint8_t, 12> kLetterUniqueId = {'3', '7', 'Q', 'x', 'A', '0',
                                                                 '1', '2', 'z', 'Z', '9', '9'};

}  // namespace kestrune::testkit
