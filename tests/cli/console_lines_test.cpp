// The progress bar's line: what it says at each width, and that it never reaches the terminal's
// last column (where the terminal would wrap it onto a new line at every redraw).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cli/console_lines.h"

namespace kestrune::cli {
namespace {

using testing::HasSubstr;
using testing::Not;

TEST(BarLineTest, FitsTheWidthAndGivesUpTheLeastNeededFiguresFirst) {
  // 96 KiB of 384 KiB after 2 s: 48 kB/s, 6 s left.
  constexpr std::uint64_t kDone = 96 * 1024;
  constexpr std::uint64_t kTotal = 384 * 1024;
  const struct {
    int columns;
    std::vector<const char*> shown;
    std::vector<const char*> left;
  } cases[] = {
      {120, {"[##########", "] 25 %", "  96.0/384.0 kB", "  48.0 kB/s", "  00:02, 00:06 left"}, {}},
      {80, {"] 25 %", "  96.0/384.0 kB", "  48.0 kB/s", "  00:02, 00:06 left"}, {}},
      {60, {"] 25 %", "  96.0/384.0 kB", "  00:02, 00:06 left"}, {"kB/s"}},
      {40, {"] 25 %", "  96.0/384.0 kB", "  00:02"}, {"kB/s", "left"}},
      {30, {"] 25 %", "  00:02"}, {"kB/s", "left", "384.0"}},
      {12, {"25 %"}, {"[", "kB"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.columns);
    const std::string line = BarLine(kDone, kTotal, 2.0, c.columns);
    EXPECT_LT(static_cast<int>(line.size()), std::max(c.columns, 1)) << line;
    for (const char* part : c.shown) EXPECT_THAT(line, HasSubstr(part));
    for (const char* part : c.left) EXPECT_THAT(line, Not(HasSubstr(part)));
  }
  // The bar grows with the bytes, up to its end.
  EXPECT_THAT(BarLine(kTotal, kTotal, 8.0, 80), HasSubstr("#] 100 %  384.0/384.0 kB"));
  EXPECT_THAT(BarLine(0, kTotal, 0.0, 80), HasSubstr("[.....")) << "nothing done yet";
  EXPECT_THAT(BarLine(0, kTotal, 0.0, 80), HasSubstr("--:-- left")) << "no rate, no estimate";
}

}  // namespace
}  // namespace kestrune::cli
