#include "cli/console_ledger.h"

#include "ledger/station_choice.h"

namespace kestrune::cli {

ConsoleLedger OpenConsoleLedger(const std::string& infosFolder,
                                const std::optional<std::string>& option,
                                ConsoleQuestions& console) {
  const LedgerChoice choice = ChooseLedger(infosFolder, option);
  for (const OperatorMessage& warning : choice.warnings) ShowOperatorMessage(console, warning);
  ConsoleLedger opened;
  OperatorMessage refusal;
  opened.ledger = OpenStationLedger(choice, refusal);
  if (!refusal.text.empty()) {
    ShowOperatorMessage(console, refusal);
    opened.refused = true;
  }
  if (opened.ledger) opened.recorder = std::make_unique<LedgerRunRecorder>(*opened.ledger);
  return opened;
}

}  // namespace kestrune::cli
