#include "cli/ledger_choice.h"

#include <cstdlib>

#include "ledger/ledger_config.h"
#include "ledger/run_queue.h"
#include "platform/platform.h"

namespace kestrune::cli {

LedgerChoice ChooseLedger(const Invocation& invocation) {
  const std::string infos = invocation.options.InfosFolder();
  const LedgerConfig config = LoadLedgerConfig(infos + "/" + kLedgerConfigName);
  std::optional<std::string> option;
  if (invocation.Has("--ledger")) option = invocation.commandOptions.at("--ledger");
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
