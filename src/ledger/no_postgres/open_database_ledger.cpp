#include "ledger/open_ledger.h"

namespace kestrune {

// Builds without libpq (the Windows build among them) keep their ledger in a file.
std::unique_ptr<Ledger> OpenDatabaseLedger(const std::string&, std::string& error) {
  error = "this build has no PostgreSQL client: keep the ledger in a file";
  return nullptr;
}

}  // namespace kestrune
