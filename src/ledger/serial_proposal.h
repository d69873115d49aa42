#pragma once
// The serial number proposed when a ledger is kept: the lowest one from the counter's value on
// that lies in a range and that the ledger does not hold yet. The counter file itself is never
// written; the ledger is what moves the proposal on.

#include <cstdint>
#include <optional>
#include <vector>

#include "support/record_array.h"

namespace kestrune {

// `ranges` holds MacRange records; `reserved` the serial numbers of the ledger, ascending, as
// stored in devices (24 bits). Nothing when every number of the ranges from `nextSerial` on is
// taken.
std::optional<std::int32_t> ProposeSerial(const RecordArray& ranges, std::int32_t nextSerial,
                                          const std::vector<std::int32_t>& reserved);

}  // namespace kestrune
