#include "ledger/ledger_config.h"

#include <filesystem>

#include "serials/config_lines.h"
#include "serials/config_tokens.h"

namespace kestrune {

LedgerConfig LoadLedgerConfig(const std::string& path) {
  LedgerConfig config;
  ConfigLineReader reader(path);
  if (!reader.IsOpen()) return config;
  config.present = true;
  std::string_view line;
  std::string keyword;
  std::string value;
  int lineNumber = 0;
  while (reader.Next(line)) {
    ++lineNumber;
    const std::size_t pos = NextToken(line, keyword);
    if (keyword != "LEDGER" && keyword != "STATION") continue;
    NextToken(line.substr(pos), value);
    if (keyword == "STATION") {
      if (value.empty()) {
        config.warnings.push_back(
            ConfigWarning("Falscher Stationsname in ./Infos/Ledger.cfg bei Zeile %i", lineNumber));
      } else {
        config.station = value;
      }
      continue;
    }
    if (value.empty()) {
      config.warnings.push_back(
          ConfigWarning("Falscher Ort in ./Infos/Ledger.cfg bei Zeile %i", lineNumber));
      config.usable = false;
    } else if (!config.where.empty()) {
      config.warnings.push_back(
          ConfigWarning("Zweiter Ort in ./Infos/Ledger.cfg bei Zeile %i", lineNumber));
      config.usable = false;
    } else {
      config.where = value;
    }
  }
  return config;
}

bool IsDatabaseLocation(const std::string& where) {
  return where.starts_with("postgresql://") || where.starts_with("postgres://");
}

std::optional<std::string> ChooseLedgerLocation(const std::optional<std::string>& commandLine,
                                                const char* environment, const LedgerConfig& config,
                                                const std::string& infosFolder) {
  if (commandLine && !commandLine->empty()) return *commandLine;
  if (environment != nullptr && *environment != '\0') return std::string(environment);
  const std::string& where = config.where;
  if (where.empty()) return std::nullopt;
  if (IsDatabaseLocation(where) || std::filesystem::path(where).is_absolute()) return where;
  return (std::filesystem::path(infosFolder) / where).string();
}

}  // namespace kestrune
