#include "testkit/exact_ledger.h"

#include <gtest/gtest.h>

namespace kestrune::testkit {
namespace {

// Each entry of the ledger by its serial number; fails the test for any serial number, MAC
// address or device that is there twice.
std::map<std::int32_t, const LedgerEntry*> IdentitiesBySerial(const LedgerContents& contents) {
  std::map<std::int32_t, const LedgerEntry*> bySerial;
  std::set<std::uint64_t> macs;
  std::set<std::string> devices;
  for (const LedgerEntry& entry : contents.identities) {
    EXPECT_TRUE(bySerial.emplace(entry.identity.serial, &entry).second) << entry.identity.serial;
    EXPECT_TRUE(macs.insert(entry.identity.macA).second) << entry.identity.serial;
    EXPECT_TRUE(macs.insert(entry.identity.macB).second) << entry.identity.serial;
    EXPECT_TRUE(devices.insert(entry.identity.uniqueId).second) << entry.identity.uniqueId;
  }
  return bySerial;
}

}  // namespace

LedgerContents ExpectExactLedger(Ledger& ledger, const StationReports& reports) {
  LedgerContents contents;
  if (ledger.Read(contents) != LedgerStatus::Ok) {
    ADD_FAILURE() << "cannot read the ledger: " << ledger.LastError();
    return {};
  }
  const std::map<std::int32_t, const LedgerEntry*> bySerial = IdentitiesBySerial(contents);

  // A serial number reported: once, and in the ledger.
  const auto inLedger = [&](std::set<std::int32_t>& seen, std::int32_t serial) {
    EXPECT_TRUE(seen.insert(serial).second) << "serial " << serial << " reported twice";
    const auto found = bySerial.find(serial);
    EXPECT_TRUE(found != bySerial.end()) << "serial " << serial << " lost";
    return found == bySerial.end() ? nullptr : found->second;
  };
  std::set<std::int32_t> reserved;
  for (const auto& [serial, uniqueId] : reports.reserved) {
    if (const LedgerEntry* entry = inLedger(reserved, serial)) {
      EXPECT_EQ(entry->identity.uniqueId, uniqueId) << serial;
    }
  }
  std::set<std::int32_t> written;
  for (std::int32_t serial : reports.written) {
    if (const LedgerEntry* entry = inLedger(written, serial)) {
      EXPECT_EQ(entry->state, ReservationState::Written) << serial;
    }
  }

  std::set<std::string> runs;
  for (const RunRecord& run : contents.runs) {
    EXPECT_TRUE(runs.insert(run.recordId).second) << "run " << run.recordId << " twice";
  }
  for (const std::string& id : reports.runs) {
    EXPECT_TRUE(runs.contains(id)) << "run " << id << " lost";
  }
  return contents;
}

}  // namespace kestrune::testkit
