#pragma once
// Lines on a console in UTF-8 (program text is Windows-1252), each with the console's prefix and
// written at once, and one progress bar redrawn in place that a line first blanks.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "cli/console_options.h"

namespace kestrune::cli {

// The bar at `done` of `total` bytes after `seconds`: its per cent, the bytes, their rate, and
// the time taken and left, in less than `columns` characters (so that the terminal never wraps
// it). Where they do not all fit, the rate goes first, then the time left, then the bytes.
std::string BarLine(std::uint64_t done, std::uint64_t total, double seconds, int columns);

class ConsoleLines {
 public:
  explicit ConsoleLines(const ConsoleOptions& options) : m_options(options) {}

  void Print(std::FILE* stream, std::string_view text);
  void PrintLine(std::FILE* stream, std::string_view text);
  // The bar at `done` of `total` bytes, with the rate over `seconds` and the time they took.
  void DrawBar(std::uint64_t done, std::uint64_t total, double seconds);
  void EraseBar();

 private:
  const ConsoleOptions& m_options;
  std::size_t m_barDrawn = 0;  // the width of the bar on the screen
};

}  // namespace kestrune::cli
