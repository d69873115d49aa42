#pragma once
// Which ledger a station works with: the command line's choice, else KESTRUNE_LEDGER, else
// Infos/Ledger.cfg; none when none of them names one. The station is Ledger.cfg's STATION, else
// the computer's name. The window and the command line both start here.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ledger/station_ledger.h"
#include "serials/operator_message.h"

namespace kestrune {

struct LedgerChoice {
  std::optional<std::string> where;
  std::string station;
  std::string queuePath;  // run records waiting for the ledger, in Infos
  // False when Ledger.cfg leaves the location in doubt and nothing else names one: then no
  // identity may be assigned at all.
  bool usable = true;
  std::vector<OperatorMessage> warnings;  // of Ledger.cfg
};

// `option`: the ledger the command line names, when it does.
LedgerChoice ChooseLedger(const std::string& infosFolder, const std::optional<std::string>& option);

// The station's ledger of `choice`; null with `refusal` when the choice leaves it in doubt or this
// build cannot reach that kind of ledger, and null without one when no ledger is configured.
std::unique_ptr<StationLedger> OpenStationLedger(const LedgerChoice& choice,
                                                 OperatorMessage& refusal);

}  // namespace kestrune
