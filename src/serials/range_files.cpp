#include "serials/range_files.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "serials/config_lines.h"
#include "serials/config_tokens.h"
#include "serials/mac_range.h"

namespace kestrune {
namespace {

// Overlaps shown one by one; the rest are counted in one warning, so that a list of many
// overlapping lines does not bury the operator in boxes.
constexpr int kShownOverlaps = 10;

bool Overlap(std::int64_t beginA, std::int64_t endA, std::int64_t beginB, std::int64_t endB) {
  return beginA < endB && beginB < endA;
}

// Every serial number takes two addresses, so a range spans twice its count in MAC addresses.
bool MacSpansOverlap(const MacRange& a, const MacRange& b) {
  const auto begin = [](const MacRange& r) { return static_cast<std::int64_t>(r.firstMac); };
  return Overlap(begin(a), begin(a) + 2 * std::int64_t{a.count}, begin(b),
                 begin(b) + 2 * std::int64_t{b.count});
}

bool SerialSpansOverlap(const MacRange& a, const MacRange& b) {
  return Overlap(a.firstSerial, std::int64_t{a.firstSerial} + a.count, b.firstSerial,
                 std::int64_t{b.firstSerial} + b.count);
}

// Warns about the pairs of overlapping ranges: for each range from the second on, first its MAC
// overlaps with the ranges before it, then its serial overlaps; after kShownOverlaps of them one
// warning counts the rest. Returns false when serial numbers overlap.
bool CheckOverlaps(const RecordArray& ranges, std::vector<OperatorMessage>& warnings) {
  bool serialsApart = true;
  int overlaps = 0;
  const auto report = [&](const char* format, const MacRange& earlier, const MacRange& later) {
    if (++overlaps <= kShownOverlaps)
      warnings.push_back(ConfigWarning(format, earlier.line, later.line));
  };
  for (std::uint32_t i = 1; i < ranges.Count(); ++i) {
    const MacRange& later = MacRangeAt(ranges, i);
    for (std::uint32_t j = 0; j < i; ++j) {
      const MacRange& earlier = MacRangeAt(ranges, j);
      if (MacSpansOverlap(earlier, later)) {
        report("Die MAC-Bereiche in ./Infos/MacList.cfg bei Zeile %i und %i überlappen sich !",
               earlier, later);
      }
    }
    for (std::uint32_t j = 0; j < i; ++j) {
      const MacRange& earlier = MacRangeAt(ranges, j);
      if (SerialSpansOverlap(earlier, later)) {
        report("Die Seriennummern in ./Infos/MacList.cfg bei Zeile %i und %i überlappen sich !",
               earlier, later);
        serialsApart = false;
      }
    }
  }
  if (overlaps > kShownOverlaps) {
    const int more = overlaps - kShownOverlaps;
    warnings.push_back(
        more == 1
            ? ConfigWarning("In ./Infos/MacList.cfg gibt es eine weitere Überlappung !", 0)
            : ConfigWarning("In ./Infos/MacList.cfg gibt es %i weitere Überlappungen !", more));
  }
  return serialsApart;
}

// Twelve hexadecimal digits once the "-" are gone, and not all zero: anything else would hand
// out addresses nobody meant.
bool IsMacToken(const std::string& token) {
  return token.size() == 12 &&
         std::all_of(token.begin(), token.end(),
                     [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }) &&
         token.find_first_not_of('0') != std::string::npos;
}

// The counter must start with a number that is not negative: an empty or garbled first line
// would otherwise propose serial number 0, and a negative one a number at the top of the 24
// stored bits, both with MAC addresses outside the operator's ranges.
bool HoldsSerialCounter(std::string_view line) {
  std::size_t i = line.find_first_not_of(" \t\n\v\f\r");
  if (i != std::string_view::npos && line[i] == '+') ++i;
  return i < line.size() && line[i] >= '0' && line[i] <= '9';
}

}  // namespace

MacRangeLoad LoadMacRanges(const std::string& path, RecordArray& ranges) {
  MacRangeLoad result;
  ranges.Configure(sizeof(MacRange), -1);
  ConfigLineReader reader(path);
  if (!reader.IsOpen()) return result;
  result.usable = true;

  std::string_view line;
  std::int32_t lineNumber = 0;
  std::string token;
  while (reader.Next(line)) {
    ++lineNumber;
    std::size_t pos = NextToken(line, token);
    if (token != "RANGE") continue;
    if (ranges.Count() == kMaxMacRanges) {
      result.warnings.push_back(
          ConfigWarning("Zu viele Bereiche in ./Infos/MacList.cfg ab Zeile %i", lineNumber));
      result.usable = false;
      break;
    }
    pos += NextToken(line.substr(pos), token);
    ReplaceAll(token, "-", "");
    if (!IsMacToken(token)) {
      result.warnings.push_back(
          ConfigWarning("Falsche MAC-Adresse in ./Infos/MacList.cfg bei Zeile %i", lineNumber));
      continue;
    }
    MacRange range;
    range.firstMac = static_cast<std::uint64_t>(ParseInt64(token, 16));
    range.line = lineNumber;
    pos += NextToken(line.substr(pos), token);
    range.count = ParseInt(token);
    pos += NextToken(line.substr(pos), token);
    range.firstSerial = ParseInt(token);
    if (range.count < 1 || range.count > kMaxRangeCount) {
      result.warnings.push_back(
          ConfigWarning("Falsche Anzahl in ./Infos/MacList.cfg bei Zeile %i", lineNumber));
      result.usable = false;
      continue;
    }
    if (range.firstSerial < 0) {
      result.warnings.push_back(
          ConfigWarning("Falsche Seriennummer in ./Infos/MacList.cfg bei Zeile %i", lineNumber));
      continue;
    }
    ranges.Insert(&range, 0x7FFFFFFF, 1);
  }
  ranges.Sort(CompareMacRanges, 0, -1, false);
  if (!CheckOverlaps(ranges, result.warnings)) result.usable = false;
  return result;
}

NextSerialLoad LoadNextSerial(const std::string& path, const RecordArray& ranges) {
  NextSerialLoad result;
  ConfigLineReader reader(path);
  std::string_view line;
  if (reader.IsOpen() && !(reader.Next(line) && HoldsSerialCounter(line))) {
    result.warnings.push_back({"Warnung",
                               "In ./Infos/NextSerial.cfg steht keine gültige Seriennummer !",
                               OperatorIcon::Warning});
  }
  // Without a usable counter the first range proposes its first number, as without the file.
  if (!reader.IsOpen() || !result.warnings.empty()) {
    if (ranges.Count() != 0) result.nextSerial = MacRangeAt(ranges, 0).firstSerial;
    return result;
  }
  result.nextSerial = ParseDecimal(line);
  result.fromFile = true;
  if (FindMacRange(ranges, result.nextSerial) < 0) {
    result.warnings.push_back({"Warnung",
                               "Die Seriennummern in ./Infos/NextSerial.cfg ist außerhalb der "
                               "Bereiche aus ./Infos/MacList.cfg !",
                               OperatorIcon::Warning});
  }
  return result;
}

}  // namespace kestrune
