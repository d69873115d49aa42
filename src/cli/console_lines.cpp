#include "cli/console_lines.h"

#include <algorithm>

#include "platform/console.h"
#include "support/cp1252.h"

namespace kestrune::cli {

namespace {

constexpr int kBarWidth = 40;
// The bar, its per cent and its figures: what EraseBar blanks.
constexpr int kBarLineWidth = kBarWidth + 64;

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
  console.answers = IsTerminal(stdin) ? stdin : nullptr;
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
  if (!m_barDrawn) return;
  std::fprintf(m_options.out, "\r%*s\r", kBarLineWidth, "");
  std::fflush(m_options.out);
  m_barDrawn = false;
}

void ConsoleLines::DrawBar(std::uint64_t done, std::uint64_t total, double seconds) {
  const std::uint64_t upper = std::max<std::uint64_t>(total, 1);
  done = std::min(done, upper);
  std::string bar(static_cast<std::size_t>(done * kBarWidth / upper), '#');
  bar.resize(kBarWidth, '.');
  const double kb = static_cast<double>(done) / 1024.0;
  char figures[96];
  std::snprintf(figures, sizeof figures, "  %.1f/%.1f kB  %.1f kB/s  %s", kb,
                static_cast<double>(total) / 1024.0, seconds > 0 ? kb / seconds : 0.0,
                ElapsedText(seconds).c_str());
  const std::string line = "\r[" + bar + "] " + std::to_string(done * 100 / upper) + " %" + figures;
  std::fputs(line.c_str(), m_options.out);
  std::fflush(m_options.out);
  m_barDrawn = true;
}

}  // namespace kestrune::cli
