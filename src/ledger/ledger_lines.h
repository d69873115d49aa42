#pragma once
// The text form of ledger records, one line each, as the ledger file and the local queue of run
// records keep them: fields joined by ';', a field that holds ';' or '"' in double quotes (a quote
// inside doubled), a line break inside a field turned into a blank so that a record stays a line.
//
//   identity;SERIAL;MAC A;MAC B;UNIQUE ID;STATE;STATION;TIME
//   run;RECORD ID;TIME;STATION;UNIQUE ID;FIRMWARE;DEVICE TYPE;VERSION;FIRMWARE DATE
//
// MAC addresses as 00-11-22-33-44-55, times in seconds since 1970 (UTC). Lines starting with '#'
// are comments.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ledger/ledger.h"

namespace kestrune {

// "00-11-22-33-44-55" for the low 48 bits of `mac`.
std::string FormatMac(std::uint64_t mac);
// The reverse: twelve hexadecimal digits, "-" between them allowed.
std::optional<std::uint64_t> ParseMac(std::string_view text);

std::string IdentityLine(const LedgerEntry& entry);  // with its line feed
std::string RunLine(const RunRecord& run);           // with its line feed

// A line (without its end) decoded into one of the two records; false for comments, blank lines
// and lines that are not whole records (such as the torn end of a write cut short).
bool ParseIdentityLine(std::string_view line, LedgerEntry& entry);
bool ParseRunLine(std::string_view line, RunRecord& run);

// `lines` to append to a file that holds `existing`: after a line torn by a writer that died, a
// line feed first, so that the torn piece stays a line of its own.
std::string AfterTornLine(std::string_view existing, std::string lines);

// Calls `visit` with every complete line of `text`: a last line without its line feed was cut
// short and is left out.
template <typename Visit>
void ForEachCompleteLine(std::string_view text, Visit visit) {
  for (std::size_t end; (end = text.find('\n')) != std::string_view::npos;) {
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    visit(line);
    text.remove_prefix(end + 1);
  }
}

}  // namespace kestrune
