#pragma once
// The ranges from which serial numbers and MAC addresses are handed out: one record per accepted
// line of Infos/MacList.cfg, held in a RecordArray sorted by first MAC.

#include <cstdint>

#include "support/record_array.h"

namespace kestrune {

struct MacRange {
  std::uint64_t firstMac = 0;  // MAC of the first serial number, as a 48-bit number
  std::int32_t count = 0;      // serial numbers in the range, 1 .. kMaxRangeCount
  std::int32_t firstSerial = 0;
  std::int32_t line = 0;  // line of MacList.cfg it came from (1 = first), for messages
};
static_assert(sizeof(MacRange) == 24, "the range list stores 24-byte records");

inline constexpr std::int32_t kMaxRangeCount = 0x100000;

// Orders the records at positions a and b by first MAC: 1, -1 or 0.
int CompareMacRanges(const RecordArray& ranges, std::int32_t a, std::int32_t b);

// The record at position `index`; the array must hold MacRange records.
const MacRange& MacRangeAt(const RecordArray& ranges, std::uint32_t index);

// Whether `serial` lies in the range. Computed wide: a range that ends beyond the 32-bit limit
// still holds its serial numbers.
bool RangeHolds(const MacRange& range, std::int32_t serial);

// Position of the first range (in list order) that holds `serial`, or -1.
std::int32_t FindMacRange(const RecordArray& ranges, std::int32_t serial);

// First MAC of `serial` within `range`: every serial number takes two addresses. For a serial
// outside the range the same rule extends the range up or down. Only the low 48 bits count.
std::uint64_t MacOfSerial(const MacRange& range, std::int32_t serial);

}  // namespace kestrune
