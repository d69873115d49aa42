#include "ledger/open_ledger.h"

namespace kestrune {

// Builds without libpq (the Windows build among them) keep their ledger in a file.
std::unique_ptr<Ledger> OpenDatabaseLedger(const std::string&, std::string& error) {
  error =
      "Dieses Programm kann kein PostgreSQL-Ledger erreichen: das Ledger muss eine Datei sein !";
  return nullptr;
}

}  // namespace kestrune
