#pragma once
// Opening the ledger that a location names: a PostgreSQL database for a postgresql:// URI,
// otherwise a ledger file.

#include <memory>
#include <string>

#include "ledger/ledger.h"

namespace kestrune {

// Nothing is contacted yet: the first operation does that. Null (with `error`) only for a
// database where this build has no PostgreSQL client.
std::unique_ptr<Ledger> OpenLedger(const std::string& where, std::string& error);

// The database ledger of this build; null with `error` where it has none.
std::unique_ptr<Ledger> OpenDatabaseLedger(const std::string& uri, std::string& error);

}  // namespace kestrune
