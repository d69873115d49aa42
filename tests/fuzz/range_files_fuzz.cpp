// The operator's range files: MacList.cfg, then after a form feed NextSerial.cfg.

#include <algorithm>
#include <vector>

#include "fuzz_support.h"
#include "serials/config_tokens.h"
#include "serials/mac_range.h"
#include "serials/range_files.h"

using namespace kestrune;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input = fuzz::AsText(data, size);
  const std::size_t split = std::min(input.find('\f'), input.size());
  const std::string_view macList = input.substr(0, split);
  const std::string_view nextSerial = input.substr(std::min(split + 1, input.size()));

  std::string token;
  fuzz::Require(NextToken(macList, token) <= macList.size(), "a token ends within its text");
  fuzz::Require(token.size() <= kMaxTokenLength, "a token is cut to its longest");

  RecordArray ranges;
  const MacRangeLoad load = LoadMacRanges(fuzz::WriteScratchFile("MacList.cfg", macList), ranges);
  if (load.usable) {
    fuzz::Require(ranges.Count() <= kMaxMacRanges, "a usable list is not too long");
    std::vector<MacRange> bySerial;
    for (std::uint32_t i = 0; i < ranges.Count(); ++i) {
      const MacRange& range = MacRangeAt(ranges, i);
      fuzz::Require(range.count >= 1 && range.count <= kMaxRangeCount, "counts are in range");
      if (i > 0) {
        fuzz::Require(MacRangeAt(ranges, i - 1).firstMac <= range.firstMac,
                      "the list is sorted by first MAC");
      }
      bySerial.push_back(range);
    }
    std::sort(bySerial.begin(), bySerial.end(),
              [](const MacRange& a, const MacRange& b) { return a.firstSerial < b.firstSerial; });
    for (std::size_t i = 1; i < bySerial.size(); ++i) {
      fuzz::Require(std::int64_t{bySerial[i - 1].firstSerial} + bySerial[i - 1].count <=
                        bySerial[i].firstSerial,
                    "no serial number lies in two ranges of a usable list");
    }
  }

  const NextSerialLoad next =
      LoadNextSerial(fuzz::WriteScratchFile("NextSerial.cfg", nextSerial), ranges);
  if (next.warnings.empty() && ranges.Count() > 0) {
    fuzz::Require(FindMacRange(ranges, next.nextSerial) >= 0,
                  "a serial number proposed without a warning lies in a range");
  }
  return 0;
}
