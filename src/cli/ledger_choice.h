#pragma once
// The ledger a command works with: --ledger, else KESTRUNE_LEDGER, else Infos/Ledger.cfg; none
// when none of them names one. The station is Ledger.cfg's STATION, else the host name.

#include <optional>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "serials/operator_message.h"

namespace kestrune::cli {

struct LedgerChoice {
  std::optional<std::string> where;
  std::string station;
  std::string queuePath;  // run records waiting for the ledger, in Infos
  // False when Ledger.cfg leaves the location in doubt and nothing else names one: then no
  // identity may be assigned at all.
  bool usable = true;
  std::vector<OperatorMessage> warnings;  // of Ledger.cfg
};

// `option`: the value of --ledger, when given.
LedgerChoice ChooseLedger(const std::string& infosFolder, const std::optional<std::string>& option);

// The --ledger value of a command, when given.
std::optional<std::string> LedgerOption(const Invocation& invocation);

}  // namespace kestrune::cli
