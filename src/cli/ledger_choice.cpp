#include "cli/ledger_choice.h"

#include <cstdlib>

#include "ledger/ledger_config.h"
#include "ledger/run_queue.h"
#include "platform/platform.h"

namespace kestrune::cli {

std::optional<std::string> LedgerOption(const Invocation& invocation) {
  if (!invocation.Has("--ledger")) return std::nullopt;
  return invocation.commandOptions.at("--ledger");
}

LedgerChoice ChooseLedger(const std::string& infos, const std::optional<std::string>& option) {
  const LedgerConfig config = LoadLedgerConfig(infos + "/" + kLedgerConfigName);
  const char* environment = std::getenv("KESTRUNE_LEDGER");

  LedgerChoice choice;
  choice.where = ChooseLedgerLocation(option, environment, config, infos);
  const bool overridden = (option && !option->empty()) || (environment && *environment);
  choice.usable = config.usable || overridden;
  choice.station = config.station.empty() ? GetHostName() : config.station;
  choice.queuePath = infos + "/" + kRunQueueName;
  choice.warnings = config.warnings;
  return choice;
}

}  // namespace kestrune::cli
