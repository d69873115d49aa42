#include "ledger/ledger_lines.h"

#include <vector>

#include "device/device_identity.h"
#include "serials/config_tokens.h"
#include "serials/identity_assignment.h"
#include "support/whole_number.h"

namespace kestrune {
namespace {

std::string Field(std::string_view text) {
  std::string field;
  bool quoted = false;
  for (char c : text) {
    if (c == '\r' || c == '\n') c = ' ';
    if (c == ';' || c == '"') quoted = true;
    if (c == '"') field += '"';
    field += c;
  }
  return quoted ? '"' + field + '"' : field;
}

std::string Join(std::initializer_list<std::string> fields) {
  std::string line;
  for (const std::string& field : fields) {
    if (!line.empty()) line += ';';
    line += field;
  }
  return line + '\n';
}

std::vector<std::string> Split(std::string_view line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c != '"') {
        fields.back() += c;
      } else if (i + 1 < line.size() && line[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else {
        quoted = false;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ';') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

template <typename Number>
bool ParseNumber(const std::string& text, Number& value) {
  const std::optional<Number> parsed = ParseWholeNumber<Number>(text);
  if (parsed) value = *parsed;
  return parsed.has_value();
}

}  // namespace

std::string FormatMac(std::uint64_t mac) {
  return MacText(MacBytes(mac));
}

std::optional<std::uint64_t> ParseMac(std::string_view text) {
  std::string digits(text);
  ReplaceAll(digits, "-", "");
  if (digits.size() != 12 ||
      digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(ParseInt64(digits, 16));
}

std::string IdentityLine(const LedgerEntry& entry) {
  const LedgerIdentity& id = entry.identity;
  return Join({"identity", std::to_string(id.serial), FormatMac(id.macA), FormatMac(id.macB),
               Field(id.uniqueId), StateName(entry.state), Field(entry.station),
               std::to_string(entry.time)});
}

std::string RunLine(const RunRecord& run) {
  return Join({"run", Field(run.recordId), std::to_string(run.time), Field(run.station),
               Field(run.uniqueId), Field(run.firmwareFile), Field(run.deviceType),
               Field(run.version), Field(run.firmwareDate)});
}

std::string AfterTornLine(std::string_view existing, std::string lines) {
  if (!existing.empty() && existing.back() != '\n') lines.insert(lines.begin(), '\n');
  return lines;
}

bool ParseIdentityLine(std::string_view line, LedgerEntry& entry) {
  const std::vector<std::string> f = Split(line);
  if (f.size() != 8 || f[0] != "identity") return false;
  const auto macA = ParseMac(f[2]);
  const auto macB = ParseMac(f[3]);
  const auto state = StateFromName(f[5]);
  if (!ParseNumber(f[1], entry.identity.serial) || !macA || !macB || !state ||
      !ParseNumber(f[7], entry.time)) {
    return false;
  }
  entry.identity.macA = *macA;
  entry.identity.macB = *macB;
  entry.identity.uniqueId = f[4];
  entry.state = *state;
  entry.station = f[6];
  return true;
}

bool ParseRunLine(std::string_view line, RunRecord& run) {
  const std::vector<std::string> f = Split(line);
  if (f.size() != 9 || f[0] != "run" || !ParseNumber(f[2], run.time) || f[1].empty()) {
    return false;
  }
  run.recordId = f[1];
  run.station = f[3];
  run.uniqueId = f[4];
  run.firmwareFile = f[5];
  run.deviceType = f[6];
  run.version = f[7];
  run.firmwareDate = f[8];
  return true;
}

}  // namespace kestrune
