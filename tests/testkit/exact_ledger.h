#pragma once
// A ledger that several stations worked on at once, checked against what they reported: nothing
// given twice, nothing they were told lost.

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ledger/ledger.h"

namespace kestrune::testkit {

// What the stations said had happened, read from their outputs (only what they said in full).
struct StationReports {
  std::multimap<std::int32_t, std::string> reserved;  // serial number -> the device's unique ID
  std::vector<std::int32_t> written;                  // serial numbers
  std::set<std::string> runs;                         // record IDs, recorded or queued
};

// Reads the ledger back and checks that no serial number, MAC address, device or run record is in
// it twice, that no serial number was reported reserved or written twice, and that every report
// is in it as reported (a written serial number in the state written). Returns what it read.
LedgerContents ExpectExactLedger(Ledger& ledger, const StationReports& reports);

}  // namespace kestrune::testkit
