#include "cli/console_window.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>

#include "app/control_ids.h"
#include "platform/console.h"
#include "support/cp1252.h"

namespace kestrune::cli {

namespace {

constexpr int kBarWidth = 40;
// The bar, its per cent and its figures: what EraseBar blanks.
constexpr int kBarLineWidth = kBarWidth + 64;
// How often the window's thread looks for a Ctrl-C while nothing else happens.
constexpr auto kInterruptPoll = std::chrono::milliseconds(50);

std::atomic<bool> g_interrupted{false};

extern "C" void OnInterrupt(int) {
  g_interrupted = true;
}

bool IsYes(const char* line) {
  return line[0] == 'j' || line[0] == 'J' || line[0] == 'y' || line[0] == 'Y';
}

}  // namespace

std::string ElapsedText(double seconds) {
  const long whole = static_cast<long>(seconds);
  char text[32];
  std::snprintf(text, sizeof text, "%02ld:%02ld", whole / 60, whole % 60);
  return text;
}

void ConsoleWindow::Print(std::FILE* stream, std::string_view text) {
  EraseBar();
  std::fputs(Cp1252ToUtf8(text).c_str(), stream);
  std::fflush(stream);
}

void ConsoleWindow::PrintLine(std::FILE* stream, std::string_view text) {
  // One write per line: consoles of several devices share the stream.
  Print(stream, m_options.linePrefix + std::string(text) + "\n");
}

void ConsoleWindow::EraseBar() {
  if (!m_barDrawn) return;
  std::fprintf(m_options.out, "\r%*s\r", kBarLineWidth, "");
  std::fflush(m_options.out);
  m_barDrawn = false;
}

double ConsoleWindow::SecondsSinceProgressStart() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_progressStart).count();
}

void ConsoleWindow::DrawBar(int position) {
  const int upper = std::max(m_progressUpper, 1);
  const int done = std::clamp(position, 0, upper);
  const int filled = static_cast<int>(static_cast<long long>(done) * kBarWidth / upper);
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.resize(kBarWidth, '.');
  std::string line =
      "\r[" + bar + "] " + std::to_string(static_cast<long long>(done) * 100 / upper) + " %";
  if (m_options.progressBytes != 0) {
    const double seconds = SecondsSinceProgressStart();
    const double kb = static_cast<double>(m_options.progressBytes) * done / upper / 1024.0;
    char figures[96];
    std::snprintf(figures, sizeof figures, "  %.1f/%.1f kB  %.1f kB/s  %s", kb,
                  static_cast<double>(m_options.progressBytes) / 1024.0,
                  seconds > 0 ? kb / seconds : 0.0, ElapsedText(seconds).c_str());
    line += figures;
  }
  std::fputs(line.c_str(), m_options.out);
  std::fflush(m_options.out);
  m_barDrawn = true;
}

void ConsoleWindow::SetControlText(int id, std::string_view text) {
  m_texts[id] = std::string(text);
  // The status line is the console's whole view of a run: each text on its own line.
  if (id == kIdStatusLine && !text.empty()) PrintLine(m_options.out, text);
}

std::string ConsoleWindow::ControlText(int id) {
  auto it = m_texts.find(id);
  return it == m_texts.end() ? std::string() : it->second;
}

void ConsoleWindow::SetProgressRange(int, std::uint16_t upper) {
  // The range is set once the file is loaded and the transfer begins: the rate counts from here.
  m_progressUpper = upper;
  m_quartersShown = 0;
  m_progressStart = std::chrono::steady_clock::now();
}

void ConsoleWindow::SetProgressPosition(int, int position) {
  // Position 0 comes with the start and the end of a run; the bar shows only real progress.
  if (m_progressUpper == 0 || position <= 0) return;
  if (m_options.progressBar) DrawBar(position);
  if (!m_options.progressQuarters) return;
  const int quarter = static_cast<int>(static_cast<long long>(std::min(position, m_progressUpper)) *
                                       4 / m_progressUpper);
  // Every quarter passed gets its line, also when the window saw the position jump over one.
  while (m_quartersShown < quarter) {
    ++m_quartersShown;
    PrintLine(m_options.out, std::to_string(m_quartersShown * 25) + " %  " +
                                 ElapsedText(SecondsSinceProgressStart()));
  }
}

MessageResult ConsoleWindow::ShowMessageBox(std::string_view caption, std::string_view text,
                                            MessageButtons buttons, MessageIcon icon) {
  std::FILE* stream =
      (icon == MessageIcon::Stop || icon == MessageIcon::Warning) ? m_options.err : m_options.out;
  PrintLine(stream, std::string(caption) + ": " + std::string(text));
  if (icon == MessageIcon::Stop && m_options.errors != nullptr) {
    m_options.errors->emplace_back(text);
  }
  if (buttons == MessageButtons::Ok) return MessageResult::Ok;
  const bool yesNo = buttons == MessageButtons::YesNo;
  const MessageResult yes = yesNo ? MessageResult::Yes : MessageResult::Ok;
  const MessageResult refuse = yesNo ? MessageResult::No : MessageResult::Cancel;
  if (m_options.answers == nullptr) {
    PrintLine(stream, yesNo ? "Antwort: Nein (keine Eingabe möglich)"
                            : "Antwort: Abbrechen (keine Eingabe möglich)");
    return refuse;
  }
  Print(m_options.out, yesNo ? "[j/n] " : "[j = OK / n = Abbrechen] ");
  char line[64] = {};
  if (std::fgets(line, sizeof line, m_options.answers) == nullptr) return refuse;
  return IsYes(line) ? yes : refuse;
}

void ConsoleWindow::StartTimer(int id, std::uint32_t periodMs) {
  m_timerId = id;
  m_timerPeriodMs = periodMs;
}

void ConsoleWindow::PostCommand(int id) {
  {
    std::lock_guard lock(m_postedMutex);
    m_posted.push_back({true, id, DeviceEvent::Arrival, {}});
  }
  m_postedChanged.notify_one();
}

void ConsoleWindow::PostDeviceChange(DeviceEvent event, const std::string& path) {
  {
    std::lock_guard lock(m_postedMutex);
    m_posted.push_back({false, 0, event, path});
  }
  m_postedChanged.notify_one();
}

void ConsoleWindow::EndDialog(int) {
  m_ended = true;
}

void ConsoleWindow::RunUntil(ProgrammerDialog& dialog, const std::function<bool()>& done) {
  using SteadyClock = std::chrono::steady_clock;
  const auto period = std::chrono::milliseconds(std::max<std::uint32_t>(m_timerPeriodMs, 1));
  auto nextTick = SteadyClock::now() + period;
  while (!m_ended && !done()) {
    std::optional<Posted> posted;
    {
      std::unique_lock lock(m_postedMutex);
      m_postedChanged.wait_until(lock, std::min(nextTick, SteadyClock::now() + kInterruptPoll),
                                 [this] { return !m_posted.empty() || m_cancelRequested; });
      if (!m_posted.empty()) {
        posted = std::move(m_posted.front());
        m_posted.pop_front();
      }
    }
    const bool interrupted = m_options.takesInterrupts && InterruptCatcher::Take();
    if (interrupted || m_cancelRequested.exchange(false)) dialog.OnCancel();
    if (posted) {
      if (posted->isCommand) {
        dialog.OnCommand(posted->id);
      } else {
        dialog.OnDeviceChange(posted->event, posted->path);
      }
    }
    if (m_timerPeriodMs != 0 && SteadyClock::now() >= nextTick) {
      nextTick += period;
      dialog.OnTimer(m_timerId);
    }
  }
  EraseBar();
}

void ConsoleWindow::Cancel() {
  {
    // Under the lock, so that a RunUntil about to wait sees it.
    std::lock_guard lock(m_postedMutex);
    m_cancelRequested = true;
  }
  m_postedChanged.notify_one();
}

InterruptCatcher::InterruptCatcher() {
  m_previous = std::signal(SIGINT, OnInterrupt);
}

InterruptCatcher::~InterruptCatcher() {
  std::signal(SIGINT, m_previous == SIG_ERR ? SIG_DFL : m_previous);
  g_interrupted = false;
}

bool InterruptCatcher::Take() {
  return g_interrupted.exchange(false);
}

void InterruptCatcher::Raise() {
  g_interrupted = true;
}

ConsoleWindowOptions ConsoleOptionsFor(std::FILE* out, std::FILE* err) {
  ConsoleWindowOptions console;
  console.out = out;
  console.err = err;
  console.answers = IsTerminal(stdin) ? stdin : nullptr;
  return console;
}

}  // namespace kestrune::cli
