#pragma once
// The station's identity ledger for a command: --ledger, else KESTRUNE_LEDGER, else
// Infos/Ledger.cfg. Ledger.cfg's warnings and the reason a ledger cannot be used are told on the
// console.

#include <memory>
#include <optional>
#include <string>

#include "app/ledger_run_recorder.h"
#include "cli/console_questions.h"
#include "ledger/station_ledger.h"

namespace kestrune::cli {

struct ConsoleLedger {
  std::unique_ptr<StationLedger> ledger;  // null without one
  // A ledger is configured but cannot be used (Ledger.cfg leaves it in doubt, or this build
  // cannot reach that kind): nothing may be assigned.
  bool refused = false;
  // Records the verified runs in `ledger`; null without one.
  std::unique_ptr<LedgerRunRecorder> recorder;
};

ConsoleLedger OpenConsoleLedger(const std::string& infosFolder,
                                const std::optional<std::string>& option,
                                ConsoleQuestions& console);

}  // namespace kestrune::cli
