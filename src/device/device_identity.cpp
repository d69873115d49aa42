#include "device/device_identity.h"

#include <algorithm>
#include <cstdio>

namespace kestrune {

OtpBlock EncodeIdentity(const DeviceIdentity& identity) {
  OtpBlock block;
  block.fill(0xFF);
  for (std::size_t i = 0; i < identity.macA.size(); ++i) block[i] = identity.macA[i];
  block[6] = kIdentityMarker0;
  block[7] = kIdentityMarker1;
  for (int i = 0; i < 4; ++i)
    block[8 + i] = static_cast<std::uint8_t>(identity.assignmentTime >> (8 * i));
  for (int i = 0; i < 3; ++i)
    block[12 + i] = static_cast<std::uint8_t>(identity.serialNumber >> (8 * i));
  block[15] = identity.hasSecondMac ? kSecondMacFlag : 0;
  return block;
}

std::optional<DeviceIdentity> DecodeIdentity(const std::uint8_t* block) {
  if (block[6] != kIdentityMarker0 || block[7] != kIdentityMarker1) return std::nullopt;
  DeviceIdentity identity;
  for (std::size_t i = 0; i < identity.macA.size(); ++i) identity.macA[i] = block[i];
  for (int i = 0; i < 4; ++i) identity.assignmentTime |= std::uint32_t{block[8 + i]} << (8 * i);
  for (int i = 0; i < 3; ++i) identity.serialNumber |= std::uint32_t{block[12 + i]} << (8 * i);
  identity.hasSecondMac = (block[15] & kSecondMacFlag) != 0;
  return identity;
}

std::optional<std::uint32_t> FindIdentityBlock(const OtpImage& image) {
  for (std::uint32_t i = kOtpBlockCount; i-- > 0;) {
    const std::uint8_t* block = image.data() + i * kOtpBlockSize;
    if (block[6] == kIdentityMarker0 && block[7] == kIdentityMarker1) return i;
  }
  return std::nullopt;
}

std::uint32_t LastUsedOtpBlock(const OtpImage& image) {
  std::uint32_t block = kOtpBlockCount - 1;
  const auto empty = [&image](std::uint32_t k) {
    const std::uint8_t* bytes = image.data() + k * kOtpBlockSize;
    return std::all_of(bytes, bytes + kOtpBlockSize, [](std::uint8_t b) { return b == 0xFF; });
  };
  while (block > 0 && empty(block)) --block;
  return block;
}

std::array<std::uint8_t, 6> MacBytes(std::uint64_t mac) {
  std::array<std::uint8_t, 6> bytes{};
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>(mac >> (8 * (bytes.size() - 1 - i)));
  }
  return bytes;
}

std::string MacText(const std::array<std::uint8_t, 6>& mac) {
  char text[18];
  std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", mac[0], mac[1], mac[2], mac[3],
                mac[4], mac[5]);
  return text;
}

std::array<std::uint8_t, 6> NextMac(const std::array<std::uint8_t, 6>& mac) {
  std::array<std::uint8_t, 6> next = mac;
  for (std::size_t i = next.size(); i-- > 0;) {
    if (++next[i] != 0) break;
  }
  return next;
}

}  // namespace kestrune
