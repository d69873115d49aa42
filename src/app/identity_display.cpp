#include "app/identity_display.h"

#include <array>

#include "device/unique_id_text.h"

namespace kestrune {
namespace {

std::uint32_t LittleEndian32(const std::uint8_t* bytes) {
  return bytes[0] | (std::uint32_t{bytes[1]} << 8) | (std::uint32_t{bytes[2]} << 16) |
         (std::uint32_t{bytes[3]} << 24);
}

// A device without identity is offered a pair of addresses from the locally administered block
// AC-DE-48, hashed from its unique ID.
std::array<std::uint8_t, 6> ProposedMac(const std::uint8_t* uniqueId) {
  const std::uint32_t w0 = LittleEndian32(uniqueId);
  const std::uint32_t w1 = LittleEndian32(uniqueId + 4);
  const std::uint32_t w2 = LittleEndian32(uniqueId + 8);
  const std::uint32_t h = w0 ^ ((w1 ^ (w2 << 3)) << 3);
  const auto byte = [h](int i) { return static_cast<std::uint8_t>(h >> (8 * i)); };
  return {0xAC,
          0xDE,
          0x48,
          byte(1),
          static_cast<std::uint8_t>(byte(2) ^ byte(0)),
          static_cast<std::uint8_t>(byte(3) ^ byte(1))};
}

// The proposal's second address counts only in its last three bytes.
std::array<std::uint8_t, 6> NextProposedMac(std::array<std::uint8_t, 6> mac) {
  for (std::size_t i = 6; i-- > 3;) {
    if (++mac[i] != 0) break;
  }
  return mac;
}

}  // namespace

IdentityDisplay ShowDeviceIdentity(const OtpImage& image, CalendarConversion local) {
  IdentityDisplay display;
  display.uniqueId = UniqueIdText(image.data() + kUniqueIdOffset);
  const std::optional<std::uint32_t> blockIndex = FindIdentityBlock(image);
  if (blockIndex) {
    const DeviceIdentity identity = *DecodeIdentity(image.data() + *blockIndex * kOtpBlockSize);
    display.state = IdentityState::Present;
    display.macA = MacText(identity.macA);
    display.macB =
        identity.hasSecondMac ? MacText(NextMac(identity.macA)) : "Keine 2.te MAC-Adresse";
    char date[kFormatTimeCapacity];
    FormatTime(date, static_cast<std::int32_t>(identity.assignmentTime), time_flags::kIsoLocal,
               local);
    display.assignmentDate = date;
    display.serialNumber = std::to_string(identity.serialNumber);
  } else {
    const std::array<std::uint8_t, 6> proposal = ProposedMac(image.data() + kUniqueIdOffset);
    display.state = IdentityState::NotProgrammed;
    display.serialNumber = "Nicht programmiert";
    display.assignmentDate = "---";
    display.macA = MacText(proposal);
    display.macB = MacText(NextProposedMac(proposal));
  }
  return display;
}

}  // namespace kestrune
