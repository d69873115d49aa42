#pragma once
// What the ledger tells about devices and ranges: finding a device, and how much of each range
// is used.

#include <cstdint>
#include <string>
#include <vector>

#include "ledger/ledger.h"
#include "serials/mac_range.h"
#include "support/record_array.h"

namespace kestrune {

// The entries whose unique ID, serial number (decimal) or either MAC address (as written in
// MacList.cfg, "-" optional) is `key`, ascending by serial.
std::vector<LedgerEntry> FindEntries(const LedgerContents& contents, const std::string& key);

struct RangeUsage {
  MacRange range;
  std::int32_t written = 0;
  std::int32_t failed = 0;
  std::vector<LedgerEntry> unconfirmed;  // reserved, but the write was never confirmed
  std::int32_t free = 0;
};

// One record per range of `ranges` (MacRange records), in list order.
std::vector<RangeUsage> CheckRanges(const RecordArray& ranges, const LedgerContents& contents);

}  // namespace kestrune
