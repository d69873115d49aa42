#pragma once
// The device's one-time-programmable (OTP) area as discovery reads it, and the 32-byte identity
// block that "MAC setzen" writes into it. An identity is never overwritten: each assignment goes
// into the next free block, and the highest block with the marker is the one that counts.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace kestrune {

// Discovery reads 540 bytes from the OTP base into a 1024-byte image: 16 blocks of 32 bytes,
// 16 lock bytes, then the 12-byte unique device ID; the rest stays zero.
inline constexpr std::uint32_t kOtpAddress = 0x1FFF7800u;
inline constexpr std::uint8_t kOtpAlternate = 2;
inline constexpr std::uint32_t kOtpImageSize = 1024;
inline constexpr std::uint32_t kOtpReadLength = 540;
inline constexpr std::uint32_t kOtpBlockCount = 16;
inline constexpr std::uint32_t kOtpBlockSize = 32;
inline constexpr std::uint32_t kOtpLockOffset = 512;
inline constexpr std::uint32_t kUniqueIdOffset = 528;
inline constexpr std::uint32_t kUniqueIdSize = 12;

using OtpImage = std::array<std::uint8_t, kOtpImageSize>;
using OtpBlock = std::array<std::uint8_t, kOtpBlockSize>;

// Block layout: MAC A (6 bytes, most significant first), marker 7A 85, assignment time (32-bit
// little-endian seconds since 1970 UTC), serial number (24-bit little-endian), flags (bit 7: a
// second MAC address, MAC A + 1), 16 spare bytes left at 0xFF.
inline constexpr std::uint8_t kIdentityMarker0 = 0x7A;
inline constexpr std::uint8_t kIdentityMarker1 = 0x85;
inline constexpr std::uint8_t kSecondMacFlag = 0x80;
inline constexpr std::uint32_t kMaxSerialNumber = 0xFFFFFF;

// What discovery learnt of the identity. The numbers are the ones `info` shows.
enum class IdentityState : std::int32_t {
  NotRead = 0,        // the OTP area could not be read
  NotProgrammed = 1,  // no block carries the marker
  Present = 2,
};

struct DeviceIdentity {
  std::array<std::uint8_t, 6> macA = {};
  std::uint32_t assignmentTime = 0;
  std::uint32_t serialNumber = 0;  // only the low 24 bits are stored
  bool hasSecondMac = false;
};

OtpBlock EncodeIdentity(const DeviceIdentity& identity);
// Nothing unless the block carries both marker bytes; other bytes are taken as they are.
std::optional<DeviceIdentity> DecodeIdentity(const std::uint8_t* block);

// The block that counts: the highest of the 16 whose marker is set (lock bytes not consulted).
std::optional<std::uint32_t> FindIdentityBlock(const OtpImage& image);

// The highest block that is not all 0xFF, or block 0: the next identity goes into the block after
// it, so block 0 is never written and blocks below a used one stay unused.
std::uint32_t LastUsedOtpBlock(const OtpImage& image);
// The blocks still open to an identity (after the last used one).
inline std::uint32_t FreeOtpBlocks(const OtpImage& image) {
  return kOtpBlockCount - 1 - LastUsedOtpBlock(image);
}

// The low 48 bits of `mac`, most significant byte first.
std::array<std::uint8_t, 6> MacBytes(std::uint64_t mac);

// "AC-DE-48-01-02-03": how every front end and file writes a MAC address.
std::string MacText(const std::array<std::uint8_t, 6>& mac);

// A MAC address plus one as a 48-bit number (the carry runs up to the first byte; FF..FF wraps).
std::array<std::uint8_t, 6> NextMac(const std::array<std::uint8_t, 6>& mac);

}  // namespace kestrune
