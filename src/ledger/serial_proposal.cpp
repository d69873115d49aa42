#include "ledger/serial_proposal.h"

#include <algorithm>

#include "serials/mac_range.h"

namespace kestrune {

std::optional<std::int32_t> ProposeSerial(const RecordArray& ranges, std::int32_t nextSerial,
                                          const std::vector<std::int32_t>& reserved) {
  std::optional<std::int32_t> best;
  for (std::uint32_t i = 0; i < ranges.Count(); ++i) {
    const MacRange& range = MacRangeAt(ranges, i);
    const std::int64_t end = std::int64_t{range.firstSerial} + range.count;
    for (std::int64_t s = std::max(nextSerial, range.firstSerial); s < end; ++s) {
      if (best && s >= *best) break;
      const auto stored = static_cast<std::int32_t>(s & 0xFFFFFF);
      if (!std::binary_search(reserved.begin(), reserved.end(), stored)) {
        best = static_cast<std::int32_t>(s);
        break;
      }
    }
  }
  return best;
}

}  // namespace kestrune
