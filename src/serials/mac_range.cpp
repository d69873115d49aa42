#include "serials/mac_range.h"

namespace kestrune {

int CompareMacRanges(const RecordArray& ranges, std::int32_t a, std::int32_t b) {
  const std::uint64_t macA = MacRangeAt(ranges, static_cast<std::uint32_t>(a)).firstMac;
  const std::uint64_t macB = MacRangeAt(ranges, static_cast<std::uint32_t>(b)).firstMac;
  return macA > macB ? 1 : (macA < macB ? -1 : 0);
}

const MacRange& MacRangeAt(const RecordArray& ranges, std::uint32_t index) {
  return *static_cast<const MacRange*>(ranges.At(index));
}

bool RangeHolds(const MacRange& range, std::int32_t serial) {
  return range.firstSerial <= serial &&
         std::int64_t{serial} < std::int64_t{range.firstSerial} + range.count;
}

std::int32_t FindMacRange(const RecordArray& ranges, std::int32_t serial) {
  for (std::uint32_t i = 0; i < ranges.Count(); ++i) {
    if (RangeHolds(MacRangeAt(ranges, i), serial)) return static_cast<std::int32_t>(i);
  }
  return -1;
}

std::uint64_t MacOfSerial(const MacRange& range, std::int32_t serial) {
  const std::int64_t offset = 2 * (std::int64_t{serial} - range.firstSerial);
  return (range.firstMac + static_cast<std::uint64_t>(offset)) & 0xFFFFFFFFFFFFu;
}

}  // namespace kestrune
