#include "serials/range_files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "serials/mac_range.h"
#include "testkit/temp_folder.h"

namespace kestrune {
namespace {

using namespace std::string_view_literals;

const std::string kMacWarning = "Falsche MAC-Adresse in ./Infos/MacList.cfg bei Zeile ";
const std::string kCountWarning = "Falsche Anzahl in ./Infos/MacList.cfg bei Zeile ";
const std::string kSerialWarning = "Falsche Seriennummer in ./Infos/MacList.cfg bei Zeile ";
const std::string kNextSerialWarning =
    "Die Seriennummern in ./Infos/NextSerial.cfg ist außerhalb der Bereiche aus "
    "./Infos/MacList.cfg !";
const std::string kNoCounterWarning =
    "In ./Infos/NextSerial.cfg steht keine gültige Seriennummer !";

std::string MacOverlap(int a, int b) {
  return "Die MAC-Bereiche in ./Infos/MacList.cfg bei Zeile " + std::to_string(a) + " und " +
         std::to_string(b) + " überlappen sich !";
}
std::string SerialOverlap(int a, int b) {
  return "Die Seriennummern in ./Infos/MacList.cfg bei Zeile " + std::to_string(a) + " und " +
         std::to_string(b) + " überlappen sich !";
}

class RangeFiles : public testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = m_folder.File(name);
    testkit::WriteFileText(path, bytes);
    return path;
  }
  MacRangeLoad Load(const std::string& bytes) {
    return LoadMacRanges(Write("MacList.cfg", bytes), m_ranges);
  }
  std::vector<std::string> WarningTexts(const std::vector<OperatorMessage>& warnings) {
    std::vector<std::string> texts;
    for (const OperatorMessage& w : warnings) {
      EXPECT_EQ(w.caption, "Warnung");
      EXPECT_EQ(w.icon, OperatorIcon::Warning);
      texts.push_back(w.text);
    }
    return texts;
  }
  std::vector<MacRange> Ranges() {
    std::vector<MacRange> ranges;
    for (std::uint32_t i = 0; i < m_ranges.Count(); ++i) ranges.push_back(MacRangeAt(m_ranges, i));
    return ranges;
  }

  testkit::TempFolder m_folder;
  RecordArray m_ranges;
};

MATCHER_P4(IsRange, mac, count, serial, line, "") {
  return arg.firstMac == mac && arg.count == count && arg.firstSerial == serial && arg.line == line;
}

TEST_F(RangeFiles, ReadsOneRangeLine) {
  struct Case {
    std::string_view line;
    std::uint64_t mac;  // 0: the line is refused or skipped
    std::int32_t count;
    std::int32_t serial;
    std::string warning;
    bool usable;
  };
  const Case cases[] = {
      {"RANGE 00-11-22-33-44-55 1000 500000", 0x001122334455, 1000, 500000, "", true},
      {"\tRANGE  001122334455 0x400 0o17 trailing words\r\n", 0x001122334455, 1024, 15, "", true},
      {"RANGE \"00-11-22-33-44-55\" 0b1010 010", 0x001122334455, 10, 10, "", true},
      {"RANGE 00-11-22-33-44-55 1048576 0d7", 0x001122334455, 1048576, 7, "", true},
      {"RANGE 02-00-00-00-00-00 8 0", 0x020000000000, 8, 0, "", true},
      // A MAC that is not twelve hexadecimal digits, or all zero, would hand out 00-00-00-...
      {"RANGE ZZ-ZZ-ZZ-ZZ-ZZ-ZZ 10 100000", 0, 0, 0, kMacWarning + "1", true},
      {"RANGE 00-11-2G-33-44-55 8 1", 0, 0, 0, kMacWarning + "1", true},
      {"RANGE 00-00-00-00-00-00 8 1", 0, 0, 0, kMacWarning + "1", true},
      {"RANGE 000000000000 8 1", 0, 0, 0, kMacWarning + "1", true},
      // A negative first serial would be stored as 0xFFFF9C and up.
      {"RANGE 00-11-22-33-44-55 10 -100", 0, 0, 0, kSerialWarning + "1", true},
      {"RANGE 00-11-22-33-44-55 10 0xFFFFFFFF", 0, 0, 0, kSerialWarning + "1", true},
      {"range 00-11-22-33-44-55 10 1", 0, 0, 0, "", true},
      {"Range 00-11-22-33-44-55 10 1", 0, 0, 0, "", true},
      {"# RANGE 00-11-22-33-44-55 10 1", 0, 0, 0, "", true},
      {"RANGE,00-11-22-33-44-55 10 1", 0, 0, 0, kMacWarning + "1", true},
      {"RANGE 00:11:22:33:44:55 10 1", 0, 0, 0, kMacWarning + "1", true},
      {"RANGE 00-11-22-33-44-5 10 1", 0, 0, 0, kMacWarning + "1", true},
      {"RANGE \"00-11-22-33-44-55", 0, 0, 0, kCountWarning + "1", false},  // no end quote
      {"RANGE 00-11-22-33-44-55", 0, 0, 0, kCountWarning + "1", false},
      {"RANGE 00-11-22-33-44-55 1048577 1", 0, 0, 0, kCountWarning + "1", false},
      {"RANGE 00-11-22-33-44-55 0 1", 0, 0, 0, kCountWarning + "1", false},
      {"RANGE 00-11-22-33-44-55 -5 1", 0, 0, 0, kCountWarning + "1", false},
      {"RANGE 00-11-22-33-44-55 99999999999 1", 0, 0, 0, kCountWarning + "1", false},
      {"RANGE 00-11-22-33-44-55\0 10 1"sv, 0, 0, 0, kCountWarning + "1", false},  // NUL ends it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    m_ranges.Destroy();
    const MacRangeLoad load = Load(std::string(c.line));
    EXPECT_EQ(load.usable, c.usable);
    EXPECT_EQ(WarningTexts(load.warnings),
              c.warning.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.warning});
    if (c.mac != 0) {
      EXPECT_THAT(Ranges(), testing::ElementsAre(IsRange(c.mac, c.count, c.serial, 1)));
    } else {
      EXPECT_TRUE(Ranges().empty());
    }
  }
}

TEST_F(RangeFiles, MissingEmptyAndJunkFiles) {
  EXPECT_FALSE(LoadMacRanges(m_folder.File("absent.cfg"), m_ranges).usable);
  std::filesystem::create_directory(m_folder.File("folder.cfg"));
  EXPECT_FALSE(LoadMacRanges(m_folder.File("folder.cfg"), m_ranges).usable);
  const testkit::UnreadableFile unreadable(m_folder.File("unreadable.cfg"));
  EXPECT_FALSE(LoadMacRanges(m_folder.File("unreadable.cfg"), m_ranges).usable);

  const MacRangeLoad empty = Load("");
  EXPECT_TRUE(empty.usable);  // an empty list still offers the button; "MAC setzen" refuses
  EXPECT_TRUE(empty.warnings.empty());

  std::string junk;
  for (int i = 0; i < 4096; ++i) junk.push_back(static_cast<char>((i * 7919) % 256));
  junk += "\nRANGE 02-00-00-00-00-00 16 100\n";
  const MacRangeLoad load = Load(junk);
  EXPECT_TRUE(load.usable);
  ASSERT_EQ(Ranges().size(), 1u);
  EXPECT_EQ(Ranges()[0].firstMac, 0x020000000000u);
}

TEST_F(RangeFiles, LongLinesAreReadInPiecesThatCountAsLines) {
  // Line 1: 1500 characters, read as pieces of 1022 and 478 (+ newline): lines 1 and 2.
  // A line of exactly 1022 characters leaves its newline for a piece of its own: lines 3 and 4.
  // A RANGE keyword in the middle of a piece does not count; one at the start of a piece does.
  const std::string first(1500, 'x');
  const std::string exact(1022, 'y');
  const std::string split = std::string(1016, 'z') + " RANGE RANGE 00-11-22-33-44-55 4 1";
  const MacRangeLoad load = Load(first + "\n" + exact + "\n" + split + "\nRANGE bad\n");
  EXPECT_THAT(WarningTexts(load.warnings), testing::ElementsAre(kMacWarning + "7"));
  EXPECT_THAT(Ranges(), testing::ElementsAre(IsRange(0x001122334455u, 4, 1, 6)));
}

TEST_F(RangeFiles, BadLinesAreLeftOutAndCrAloneEndsALine) {
  // A file saved with CR alone must not read as one line that holds only its first range. Each
  // bad line is named by its number and left out; the good ones after it are kept. CR LF is one
  // line end, not two.
  const MacRangeLoad load = Load(
      "RANGE ZZ-ZZ-ZZ-ZZ-ZZ-ZZ 10 100000\r"
      "RANGE 02-00-00-00-01-00 10 100\r"
      "\r"
      "RANGE 00-00-00-00-00-00 10 200\r\n"
      "RANGE 02-00-00-00-02-00 10 -5\r"
      "RANGE 02-00-00-00-03-00 10 300\n"
      "RANGE 02-00-00-00-04-00 10 400");
  EXPECT_TRUE(load.usable);
  EXPECT_THAT(WarningTexts(load.warnings),
              testing::ElementsAre(kMacWarning + "1", kMacWarning + "4", kSerialWarning + "5"));
  EXPECT_THAT(Ranges(), testing::ElementsAre(IsRange(0x020000000100u, 10, 100, 2),
                                             IsRange(0x020000000300u, 10, 300, 6),
                                             IsRange(0x020000000400u, 10, 400, 7)));
}

TEST_F(RangeFiles, OverlapsBeyondTheTenthAreCountedInOneWarning) {
  // Every line overlaps every other in MACs (spans of 2000 addresses, starts 1 apart); with
  // `serialStep` 1 their serial numbers overlap too. Shown one by one, 1000 such lines would be
  // 999,000 boxes; ten are shown and one counts the rest, and all of them decide the outcome.
  const auto list = [](int lines, int serialStep) {
    std::string text;
    for (int i = 0; i < lines; ++i) {
      char line[64];
      std::snprintf(line, sizeof line, "RANGE %012llX 1000 %d\n",
                    0x020000000000ull + static_cast<unsigned>(i), 1000000 + i * serialStep);
      text += line;
    }
    return text;
  };
  const MacRangeLoad both = Load(list(1000, 1));
  EXPECT_FALSE(both.usable);
  EXPECT_THAT(WarningTexts(both.warnings),
              testing::ElementsAre(
                  MacOverlap(1, 2), SerialOverlap(1, 2), MacOverlap(1, 3), MacOverlap(2, 3),
                  SerialOverlap(1, 3), SerialOverlap(2, 3), MacOverlap(1, 4), MacOverlap(2, 4),
                  MacOverlap(3, 4), SerialOverlap(1, 4),
                  "In ./Infos/MacList.cfg gibt es 998990 weitere Überlappungen !"));

  m_ranges.Destroy();
  const MacRangeLoad macsOnly = Load(list(12, 1000));
  EXPECT_TRUE(macsOnly.usable);  // MAC overlaps alone leave "MAC setzen" offered
  ASSERT_EQ(macsOnly.warnings.size(), 11u);
  EXPECT_EQ(macsOnly.warnings.back().text,
            "In ./Infos/MacList.cfg gibt es 56 weitere Überlappungen !");

  m_ranges.Destroy();
  // The serial overlap that hides the button is the 11th: past the shown ones, it still counts.
  const MacRangeLoad lateSerial = Load(list(5, 1000) + "RANGE 02-00-00-01-00-00 10 1000005\n");
  EXPECT_FALSE(lateSerial.usable);
  EXPECT_EQ(lateSerial.warnings.back().text,
            "In ./Infos/MacList.cfg gibt es eine weitere Überlappung !");
}

TEST_F(RangeFiles, SortsByFirstMacAndReportsOverlapsInOrder) {
  // Three ranges that overlap pairwise in MACs and serial numbers, written out of order: the
  // messages follow the sorted list (lines 3, 1, 2), MAC before serial for each later range.
  const MacRangeLoad load = Load(
      "# ranges\n"
      "RANGE 02-00-00-00-00-10 100 150\n"
      "RANGE 02-00-00-00-00-20 100 180\n"
      "RANGE 02-00-00-00-00-00 100 100\n");
  EXPECT_FALSE(load.usable);
  EXPECT_THAT(Ranges(), testing::ElementsAre(IsRange(0x020000000000u, 100, 100, 4),
                                             IsRange(0x020000000010u, 100, 150, 2),
                                             IsRange(0x020000000020u, 100, 180, 3)));
  EXPECT_THAT(WarningTexts(load.warnings),
              testing::ElementsAre(MacOverlap(4, 2), SerialOverlap(4, 2), MacOverlap(4, 3),
                                   MacOverlap(2, 3), SerialOverlap(4, 3), SerialOverlap(2, 3)));
}

TEST_F(RangeFiles, MacSpansCoverTwoAddressesPerSerialNumber) {
  struct Case {
    const char* text;
    std::vector<std::string> warnings;
  };
  const Case cases[] = {
      // 8 serial numbers take 16 addresses: a range 10 addresses above is hit.
      {"RANGE 02-00-00-00-00-00 8 0\nRANGE 02-00-00-00-00-0A 8 100\n", {MacOverlap(1, 2)}},
      {"RANGE 02-00-00-00-00-00 8 0\nRANGE 02-00-00-00-00-10 8 100\n", {}},
      {"RANGE 02-00-00-00-00-10 8 0\nRANGE 02-00-00-00-00-00 8 100\n", {}},
      // Serial numbers touching end to end do not overlap; one more does.
      {"RANGE 02-00-00-00-00-00 8 0\nRANGE 02-00-00-00-01-00 8 8\n", {}},
      {"RANGE 02-00-00-00-00-00 8 0\nRANGE 02-00-00-00-01-00 8 7\n", {SerialOverlap(1, 2)}},
      // A range that ends beyond the 32-bit limit still overlaps the one after it.
      {"RANGE 02-00-00-00-00-00 1000 2147483000\nRANGE 02-00-00-00-10-00 10 2147483640\n",
       {SerialOverlap(1, 2)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    m_ranges.Destroy();
    const MacRangeLoad load = Load(c.text);
    EXPECT_EQ(WarningTexts(load.warnings), c.warnings);
    EXPECT_EQ(load.usable, c.warnings.empty() || c.warnings[0].starts_with("Die MAC"));
    EXPECT_EQ(Ranges().size(), 2u);
  }
}

TEST_F(RangeFiles, RefusesAnEndlessList) {
  std::string text;
  for (std::uint32_t i = 0; i <= kMaxMacRanges; ++i) {
    char line[64];
    std::snprintf(line, sizeof line, "RANGE 02%010X 1 %u\n", 2 * i, i);
    text += line;
  }
  const MacRangeLoad load = Load(text);
  EXPECT_FALSE(load.usable);
  EXPECT_THAT(WarningTexts(load.warnings),
              testing::ElementsAre("Zu viele Bereiche in ./Infos/MacList.cfg ab Zeile 1001"));
  EXPECT_EQ(m_ranges.Count(), kMaxMacRanges);
}

TEST_F(RangeFiles, NextSerial) {
  ASSERT_TRUE(Load("RANGE 02-00-00-00-01-00 10 500\nRANGE 02-00-00-00-00-00 10 100\n").usable);
  struct Case {
    const char* content;  // null: no file
    std::int32_t next;
    std::string warning;
  };
  // A counter that is empty, garbled or negative proposes what a missing file proposes (the
  // first serial of the range with the lowest MAC), never 0 or a number outside the ranges.
  const Case cases[] = {
      {nullptr, 100, ""},
      {"505\r\n", 505, ""},
      {"  +109 and more\n", 109, ""},
      {"110\n", 110, kNextSerialWarning},  // kept, though outside
      {"0\n", 0, kNextSerialWarning},
      {"", 100, kNoCounterWarning},
      {"\n105\n", 100, kNoCounterWarning},  // only the first line counts
      {"junk", 100, kNoCounterWarning},
      {"-5\n", 100, kNoCounterWarning},
      {"-0", 100, kNoCounterWarning},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content ? c.content : "(no file)");
    const std::string path =
        c.content ? Write("NextSerial.cfg", c.content) : m_folder.File("absent.cfg");
    const NextSerialLoad load = LoadNextSerial(path, m_ranges);
    EXPECT_EQ(load.nextSerial, c.next);
    EXPECT_EQ(WarningTexts(load.warnings),
              c.warning.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.warning});
  }
  RecordArray none;
  EXPECT_EQ(LoadNextSerial(m_folder.File("absent.cfg"), none).nextSerial, 0);
  EXPECT_TRUE(LoadNextSerial(m_folder.File("absent.cfg"), none).warnings.empty());
  EXPECT_THAT(WarningTexts(LoadNextSerial(Write("NextSerial.cfg", "7"), none).warnings),
              testing::ElementsAre(kNextSerialWarning));
  const NextSerialLoad garbled = LoadNextSerial(Write("NextSerial.cfg", "x"), none);
  EXPECT_EQ(garbled.nextSerial, 0);
  EXPECT_THAT(WarningTexts(garbled.warnings), testing::ElementsAre(kNoCounterWarning));
}

// The sample files that the build puts beside the programs load without a warning.
TEST(SampleInfos, LoadCleanly) {
  const std::filesystem::path infos = std::filesystem::path(KESTRUNE_BINARY_DIR) / "bin" / "Infos";
  RecordArray ranges;
  const MacRangeLoad load = LoadMacRanges((infos / "MacList.cfg").string(), ranges);
  EXPECT_TRUE(load.usable);
  EXPECT_TRUE(load.warnings.empty());
  ASSERT_EQ(ranges.Count(), 1u);
  EXPECT_EQ(MacRangeAt(ranges, 0).firstMac >> 40 & 0x03, 0x02u);  // locally administered, unicast
  const NextSerialLoad next = LoadNextSerial((infos / "NextSerial.cfg").string(), ranges);
  EXPECT_TRUE(next.warnings.empty());
  EXPECT_EQ(next.nextSerial, MacRangeAt(ranges, 0).firstSerial);
}

}  // namespace
}  // namespace kestrune
