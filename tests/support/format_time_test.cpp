#include "support/format_time.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace kestrune {
namespace {

// A fixed zone two hours east of UTC, so tests do not depend on the machine's zone.
bool TwoHoursEast(std::int64_t seconds, std::tm& fields) {
  return UtcCalendar(seconds + 7200, fields);
}

std::string Format(std::int32_t time, std::uint32_t flags) {
  char buffer[kFormatTimeCapacity + 8];
  std::memset(buffer, '#', sizeof buffer);
  FormatTime(buffer, time, flags, TwoHoursEast);
  EXPECT_EQ(buffer[kFormatTimeCapacity], '#') << "wrote past the documented capacity";
  return buffer;
}

// Saturday 17 May 2014, 13:45:09 in the test zone.
constexpr std::int32_t kSaturday = 1400327109;

TEST(FormatTime, BuildsTheTextFromTheFlagBits) {
  const struct {
    std::uint32_t flags;
    const char* text;
  } cases[] = {
      {0x72, "2014-05-17 13:45:09"},
      {0x06, "17.05.14 13:45"},
      {0x0F, "Sa 17.Mai.14 13:45"},
      {0x21F, "Sa, 17.Mai.2014 13:45"},
      {0x1062, "14-05-17 134509"},
      {0x00, ""},
      {0x02, "13:45"},
      {0x44, "17.05.14 "},  // day first wins over year first
      {0x4048, "14-Mai-17 "},
      {0x1021F, "Sa/ 17/Mai.2014 13:45"},
      {0x8A27, "Sa,_17.05.14__13:45:09"},
      {0x6022, "13_45_09"},
      {0x2004, "17.05.14"},
      {0x172, "2014-05-17 11:45:09"},                       // UTC
      {0x3F | 0x200 | 0x800, "Sa, 17.Mai.2014  13:45:09"},  // the longest text
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Format(kSaturday, c.flags), c.text) << std::hex << c.flags;
  }
}

TEST(FormatTime, MonthNamesAreWindows1252) {
  EXPECT_EQ(Format(1394712000, 0x0C), "13.M\xe4r.14 ");  // 2014-03-13
}

TEST(FormatTime, MomentsAfter2038AreShownWithTheirYear) {
  // 0x80000000 is 2038-01-19 03:14:08 UTC.
  EXPECT_EQ(Format(INT32_MIN, 0x172), "2038-01-19 03:14:08");
  EXPECT_EQ(Format(INT32_MIN, 0x11F), "Di 19.Jan.2038 03:14");
  EXPECT_EQ(Format(2208988800 - 4294967296, 0x172), "2040-01-01 00:00:00");
  EXPECT_EQ(Format(2214172800 - 4294967296, 0x17F), "Do 01.Mär.2040 00:00:00");  // after a leap day
  EXPECT_EQ(Format(-1, 0x173), "So 2106-02-07 06:28:15");
}

TEST(FormatTime, CenturyDigitsFollowTheYear) {
  EXPECT_EQ(Format(946684799, 0x150), "1999-12-31 ");
  EXPECT_EQ(Format(946684800, 0x150), "2000-01-01 ");
  EXPECT_EQ(Format(-1, 0x150), "2106-02-07 ");
}

TEST(FormatTime, AFailedConversionGivesZeroFields) {
  char buffer[kFormatTimeCapacity];
  FormatTime(buffer, kSaturday, 0x7F, [](std::int64_t, std::tm&) { return false; });
  EXPECT_STREQ(buffer, "So 00.Jan.1900 00:00:00");
}

TEST(FormatTime, LocalTimeIsTheDefault) {
  char local[kFormatTimeCapacity];
  char expected[kFormatTimeCapacity];
  FormatTime(local, kSaturday, 0x72);
  FormatTime(expected, kSaturday, 0x72, LocalCalendar);
  EXPECT_STREQ(local, expected);
}

}  // namespace
}  // namespace kestrune
