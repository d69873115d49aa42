#include "cli/console_lines.h"

#include <algorithm>

#include "platform/console.h"
#include "support/cp1252.h"

namespace kestrune::cli {

namespace {

constexpr int kDefaultColumns = 80;
constexpr std::size_t kMinBarWidth = 8;
constexpr std::size_t kMaxBarWidth = 40;

// Kilobytes (of 1024 bytes) with one decimal.
std::string KbText(double kb) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", kb);
  return text;
}

// The figures behind the bar, in the order they are given up where the line is too narrow.
struct BarFigures {
  std::string percent, bytes, rate, elapsed, left;

  std::string Text() const { return percent + bytes + rate + elapsed + left; }
  void Drop(int count) {
    std::string* const dropped[] = {&rate, &left, &bytes, &elapsed};
    for (int k = 0; k < count; ++k) dropped[k]->clear();
  }
};

BarFigures FiguresOf(std::uint64_t done, std::uint64_t upper, double seconds, double rate) {
  const std::string left =
      done > 0 && done < upper
          ? ElapsedText(seconds * static_cast<double>(upper - done) / static_cast<double>(done))
          : std::string(done == upper ? "00:00" : "--:--");
  return {" " + std::to_string(done * 100 / upper) + " %",
          "  " + KbText(static_cast<double>(done) / 1024.0) + "/" +
              KbText(static_cast<double>(upper) / 1024.0) + " kB",
          "  " + KbText(rate) + " kB/s", "  " + ElapsedText(seconds), ", " + left + " left"};
}

}  // namespace

std::string ElapsedText(double seconds) {
  const long whole = static_cast<long>(seconds);
  char text[32];
  std::snprintf(text, sizeof text, "%02ld:%02ld", whole / 60, whole % 60);
  return text;
}

ConsoleOptions ConsoleOptionsFor(std::FILE* out, std::FILE* err) {
  ConsoleOptions console;
  console.out = out;
  console.err = err;
  if (IsTerminal(stdin)) {
    console.answers = stdin;
    console.prompts = ControllingTerminal();
  }
  return console;
}

void ConsoleLines::Print(std::FILE* stream, std::string_view text) {
  EraseBar();
  std::fputs(Cp1252ToUtf8(text).c_str(), stream);
  std::fflush(stream);
}

void ConsoleLines::PrintLine(std::FILE* stream, std::string_view text) {
  // One write per line: consoles of several devices share the stream.
  Print(stream, m_options.linePrefix + std::string(text) + "\n");
}

void ConsoleLines::EraseBar() {
  if (m_barDrawn == 0) return;
  std::fprintf(m_options.out, "\r%*s\r", static_cast<int>(m_barDrawn), "");
  std::fflush(m_options.out);
  m_barDrawn = 0;
}

std::string BarLine(std::uint64_t done, std::uint64_t total, double seconds, int columns) {
  const std::uint64_t upper = std::max<std::uint64_t>(total, 1);
  done = std::min(done, upper);
  const double rate = seconds > 0 ? static_cast<double>(done) / 1024.0 / seconds : 0.0;
  BarFigures figures = FiguresOf(done, upper, seconds, rate);
  // The bar keeps its width while the figures grow: it is fitted to them at their widest.
  BarFigures widest = FiguresOf(upper, upper, seconds, std::max(rate, 9999.9));
  const std::size_t usable = static_cast<std::size_t>(columns > 1 ? columns - 1 : 0);
  int dropped = 0;
  while (dropped < 4 && widest.Text().size() + 2 + kMinBarWidth > usable) {
    widest.Drop(++dropped);
  }
  figures.Drop(dropped);
  const std::string text = figures.Text();
  const std::size_t room = std::max(widest.Text().size(), text.size()) + 2;
  if (room + kMinBarWidth > usable) return figures.percent.substr(1, usable);
  const std::size_t width = std::min(kMaxBarWidth, usable - room);
  std::string bar(static_cast<std::size_t>(done * width / upper), '#');
  bar.resize(width, '.');
  return "[" + bar + "]" + text;
}

void ConsoleLines::DrawBar(std::uint64_t done, std::uint64_t total, double seconds) {
  const std::string line =
      BarLine(done, total, seconds, m_options.columns > 0 ? m_options.columns : kDefaultColumns);
  // A shorter line than the last one leaves its end behind unless it is blanked.
  const std::size_t blank = m_barDrawn > line.size() ? m_barDrawn - line.size() : 0;
  std::fprintf(m_options.out, "\r%s%*s", line.c_str(), static_cast<int>(blank), "");
  std::fflush(m_options.out);
  m_barDrawn = std::max(line.size(), m_barDrawn);
}

}  // namespace kestrune::cli
