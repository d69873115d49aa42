#include "ledger/ledger_report.h"

#include "ledger/ledger_lines.h"
#include "support/whole_number.h"

namespace kestrune {
namespace {

bool IsSerial(const std::string& key, std::int32_t serial) {
  return ParseWholeNumber<std::int32_t>(key) == serial;
}

}  // namespace

std::vector<LedgerEntry> FindEntries(const LedgerContents& contents, const std::string& key) {
  const std::optional<std::uint64_t> mac = ParseMac(key);
  std::vector<LedgerEntry> found;
  for (const LedgerEntry& entry : contents.identities) {
    const LedgerIdentity& id = entry.identity;
    if (id.uniqueId == key || IsSerial(key, id.serial) ||
        (mac && (*mac == id.macA || *mac == id.macB))) {
      found.push_back(entry);
    }
  }
  return found;
}

std::vector<RangeUsage> CheckRanges(const RecordArray& ranges, const LedgerContents& contents) {
  std::vector<RangeUsage> usage;
  for (std::uint32_t i = 0; i < ranges.Count(); ++i) {
    RangeUsage range;
    range.range = MacRangeAt(ranges, i);
    for (const LedgerEntry& entry : contents.identities) {
      if (!RangeHolds(range.range, entry.identity.serial)) continue;
      if (entry.state == ReservationState::Written) ++range.written;
      if (entry.state == ReservationState::Failed) ++range.failed;
      if (entry.state == ReservationState::Reserved) range.unconfirmed.push_back(entry);
    }
    range.free = range.range.count - range.written - range.failed -
                 static_cast<std::int32_t>(range.unconfirmed.size());
    usage.push_back(std::move(range));
  }
  return usage;
}

}  // namespace kestrune
