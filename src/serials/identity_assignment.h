#pragma once
// The identity a serial number gives a device: its record for the OTP area and the texts the
// serial-number dialog shows for it, and where in the OTP area the record goes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "device/device_identity.h"
#include "support/format_time.h"
#include "support/record_array.h"

namespace kestrune {

// Everything one recomputation yields.
struct SerialAssignment {
  std::int32_t serial = 0;  // the low 24 bits of the number asked for: only these are stored
  int inRange = 0;          // 1 when a range holds it; otherwise the MACs come from the first range
  std::string serialText;   // the serial in decimal
  std::string dateText;     // `now` as the assignment date (1022)
  std::string macA;         // 1020
  std::string macB;         // 1021
  OtpBlock record{};        // the identity block to write
};

// Derives the identity of `serial` at time `now` from `ranges` (sorted MacRange records). Nothing
// when the list is empty: without a range there are no MAC addresses to hand out.
std::optional<SerialAssignment> Recompute(std::int32_t serial, const RecordArray& ranges,
                                          std::uint32_t now, bool twoMacs = true,
                                          CalendarConversion local = LocalCalendar);

enum class OtpBlockChoice {
  Write,            // the record goes into `target`
  AlreadyInDevice,  // the last used block holds this record (apart from its time stamp)
  AreaFull,         // block 15 is used
};

struct OtpTarget {
  OtpBlockChoice choice = OtpBlockChoice::AreaFull;
  std::uint32_t lastUsed = 0;  // the highest block that is not empty, or block 0
  std::uint32_t target = 0;    // lastUsed + 1: empty in `image`, never block 0
};

// Chooses the block for `record` from the OTP image read at discovery.
OtpTarget ChooseOtpBlock(const OtpImage& image, const OtpBlock& record);

}  // namespace kestrune
