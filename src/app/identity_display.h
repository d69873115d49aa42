#pragma once
// What the window and the command line show of a device's OTP image: the unique-ID text and the
// identity fields.

#include <cstdint>
#include <string>

#include "device/device_identity.h"
#include "support/format_time.h"

namespace kestrune {

// The texts of the unique ID (also the hardware ID of the download log) and of the identity
// fields, with the state they stand for.
struct IdentityDisplay {
  IdentityState state = IdentityState::NotProgrammed;
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

}  // namespace kestrune
