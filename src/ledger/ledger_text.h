#pragma once
// The texts a ledger gives for a refusal, the same for every store; the operator sees them.

#include <cstdint>
#include <string>

#include "ledger/ledger.h"

namespace kestrune {

std::string SerialTakenText(const LedgerIdentity& holder);
std::string MacTakenText(std::uint64_t mac, const LedgerIdentity& holder);
std::string NoReservationText(std::int32_t serial, const std::string& uniqueId);

}  // namespace kestrune
