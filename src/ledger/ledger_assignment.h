#pragma once
// Identity assignment with a ledger: the identity a serial number gives a device, and the
// reservation of the lowest free serial number in one step.

#include <cstdint>
#include <string>

#include "ledger/ledger.h"
#include "support/record_array.h"

namespace kestrune {

// The serial number as a device stores it (its low 24 bits) and its two MAC addresses, derived
// as the serial-number dialog derives them: from the range that holds it, or else from the first
// range. `ranges` must not be empty.
LedgerIdentity IdentityOfSerial(const RecordArray& ranges, std::int32_t serial,
                                const std::string& uniqueId);

// Reserves for `uniqueId` the lowest serial number from `nextSerial` on that lies in a range and
// is free in the ledger, with its MAC addresses, into `reserved`. A proposal that another
// station reserves first, or whose MAC addresses another serial number holds, is given up for the
// next free one. Exhausted when the ranges hold no free number any more.
LedgerStatus ReserveNextFree(Ledger& ledger, const RecordArray& ranges, std::int32_t nextSerial,
                             const std::string& uniqueId, const std::string& station,
                             std::int64_t time, LedgerIdentity& reserved);

}  // namespace kestrune
