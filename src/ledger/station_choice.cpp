#include "ledger/station_choice.h"

#include <cstdlib>

#include "ledger/ledger_config.h"
#include "ledger/open_ledger.h"
#include "ledger/run_queue.h"
#include "platform/platform.h"

namespace kestrune {

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

std::unique_ptr<StationLedger> OpenStationLedger(const LedgerChoice& choice,
                                                 OperatorMessage& refusal) {
  if (!choice.usable) {
    refusal = {"Fehler",
               "./Infos/Ledger.cfg nennt kein eindeutiges Ledger: es wird keine Seriennummer "
               "vergeben und kein Lauf eingetragen !",
               OperatorIcon::Stop};
    return nullptr;
  }
  if (!choice.where) return nullptr;
  std::string error;
  std::unique_ptr<Ledger> ledger = OpenLedger(*choice.where, error);
  if (!ledger) {
    refusal = {"Fehler", error, OperatorIcon::Stop};
    return nullptr;
  }
  return std::make_unique<StationLedger>(std::move(ledger), *choice.where, choice.station,
                                         choice.queuePath);
}

}  // namespace kestrune
