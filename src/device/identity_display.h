#pragma once
// What the window shows of a device's OTP image: the unique-ID text and the identity fields.

#include <cstdint>
#include <string>

#include "device/device_identity.h"
#include "support/format_time.h"

namespace kestrune {

// The texts of the unique ID (also the hardware ID of the download log) and of the identity
// fields, with the state they stand for (1 or 2).
struct IdentityDisplay {
  std::int32_t state = kIdentityNotProgrammed;
  std::string uniqueId;
  std::string serialNumber;
  std::string assignmentDate;
  std::string macA;
  std::string macB;
};

// Decodes an image that was read: the highest marked block, or for a device without one
// "Nicht programmiert" with a MAC pair proposed from the unique ID (shown only, never stored).
// `local` converts the assignment time to local calendar fields (tests pass a fixed zone).
IdentityDisplay ShowDeviceIdentity(const OtpImage& image, CalendarConversion local = LocalCalendar);

// The unique ID as text: the bytes before the trailing run of ASCII letters and digits in
// hexadecimal groups of two bytes ("3100-4700-0E-"), then that run as characters.
std::string UniqueIdText(const std::uint8_t* uniqueId);

}  // namespace kestrune
