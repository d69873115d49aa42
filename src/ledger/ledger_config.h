#pragma once
// Infos/Ledger.cfg: where the identity ledger of a line of stations is kept, and this station's
// name. Without the file (and without a location given on the command line) there is no ledger
// and serial numbers are handed out from the range files alone.

#include <optional>
#include <string>
#include <vector>

#include "serials/operator_message.h"

namespace kestrune {

inline constexpr const char* kLedgerConfigName = "Ledger.cfg";

struct LedgerConfig {
  bool present = false;  // the file was there
  // False when a line left the location in doubt (a bad or second LEDGER line): then no identity
  // is assigned, since a guessed ledger could hand out what another station already gave.
  bool usable = true;
  std::string where;    // a file path or a postgresql:// URI; empty: none given
  std::string station;  // empty: none given
  std::vector<OperatorMessage> warnings;
};

// Reads `path`. Lines whose first token is "LEDGER" or "STATION" (upper case) take one more
// token, quoted where it holds blanks; every other line is a comment. A keyword without its
// value, or a second LEDGER line, is warned about with its line number.
LedgerConfig LoadLedgerConfig(const std::string& path);

// The ledger's location: the command line's value before the environment's before the file's.
// A relative file path in the file counts from `infosFolder`; one given on the command line or in
// the environment from the working folder, as any path there does. Nothing when none is given.
std::optional<std::string> ChooseLedgerLocation(const std::optional<std::string>& commandLine,
                                                const char* environment, const LedgerConfig& config,
                                                const std::string& infosFolder);

// Whether `where` names a PostgreSQL database rather than a file.
bool IsDatabaseLocation(const std::string& where);

}  // namespace kestrune
