#include "ledger/open_ledger.h"

#include "ledger/file_ledger.h"
#include "ledger/ledger_config.h"

namespace kestrune {

std::unique_ptr<Ledger> OpenLedger(const std::string& where, std::string& error) {
  if (IsDatabaseLocation(where)) return OpenDatabaseLedger(where, error);
  return std::make_unique<FileLedger>(where);
}

}  // namespace kestrune
