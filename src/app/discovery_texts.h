#pragma once
// The texts that describe a discovered device, in one place for the window and the command
// line. Each is present only where discovery found its value out.

#include <optional>
#include <string>

#include "app/identity_display.h"
#include "device/enumerate.h"
#include "support/format_time.h"

namespace kestrune {

// The descriptor fields as text ("0483h").
struct DescriptorTexts {
  std::string vendorId;
  std::string productId;
  std::string dfuVersion;
  std::string deviceBcd;
};

struct DiscoveryTexts {
  std::optional<DescriptorTexts> descriptors;  // the descriptors were read
  std::optional<std::string> flashSize;        // the device passed every check ("1024 kB")
  // The OTP area was read. Its unique ID is empty where the device's could not be read.
  std::optional<IdentityDisplay> identity;
};

// `local` converts the assignment time to local calendar fields (tests pass a fixed zone).
DiscoveryTexts DescribeDiscovery(const Discovery& found, CalendarConversion local = LocalCalendar);

}  // namespace kestrune
