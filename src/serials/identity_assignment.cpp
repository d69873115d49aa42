#include "serials/identity_assignment.h"

#include <algorithm>

#include "serials/mac_range.h"

namespace kestrune {

std::optional<SerialAssignment> Recompute(std::int32_t serial, const RecordArray& ranges,
                                          std::uint32_t now, bool twoMacs,
                                          CalendarConversion local) {
  if (ranges.Count() == 0) return std::nullopt;
  SerialAssignment result;
  result.serial = serial & static_cast<std::int32_t>(kMaxSerialNumber);
  const std::int32_t found = FindMacRange(ranges, result.serial);
  result.inRange = found >= 0 ? 1 : 0;
  const MacRange& range = MacRangeAt(ranges, found >= 0 ? static_cast<std::uint32_t>(found) : 0);
  result.serialText = std::to_string(result.serial);

  char date[kFormatTimeCapacity];
  FormatTime(date, static_cast<std::int32_t>(now), time_flags::kIsoLocal, local);
  result.dateText = date;

  const std::uint64_t mac = MacOfSerial(range, result.serial);
  DeviceIdentity identity;
  identity.macA = MacBytes(mac);
  identity.assignmentTime = now;
  identity.serialNumber = static_cast<std::uint32_t>(result.serial);
  identity.hasSecondMac = twoMacs;
  result.record = EncodeIdentity(identity);
  result.macA = MacText(identity.macA);
  result.macB = MacText(MacBytes(mac + 1));
  return result;
}

OtpTarget ChooseOtpBlock(const OtpImage& image, const OtpBlock& record) {
  OtpTarget result;
  result.lastUsed = LastUsedOtpBlock(image);
  result.target = result.lastUsed + 1;
  // The time stamp (bytes 8..11) does not make a record new.
  const std::uint8_t* last = image.data() + result.lastUsed * kOtpBlockSize;
  if (std::equal(record.begin(), record.begin() + 8, last) &&
      std::equal(record.begin() + 12, record.end(), last + 12)) {
    result.choice = OtpBlockChoice::AlreadyInDevice;
  } else if (result.target == kOtpBlockCount) {
    result.choice = OtpBlockChoice::AreaFull;
  } else {
    result.choice = OtpBlockChoice::Write;
  }
  return result;
}

}  // namespace kestrune
