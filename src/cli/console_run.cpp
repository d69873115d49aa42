#include "cli/console_run.h"

#include <algorithm>
#include <utility>

namespace kestrune::cli {

ConsoleRun::ConsoleRun(const ConsoleOptions& options, JobDevice device, RunControl& control,
                       std::function<JobDevice()> discover)
    : m_options(options),
      m_lines(options),
      m_device(std::move(device)),
      m_control(control),
      m_discover(std::move(discover)) {}

double ConsoleRun::Seconds(std::chrono::steady_clock::time_point since) const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void ConsoleRun::Status(const std::string& text) {
  if (!text.empty()) m_lines.PrintLine(m_options.out, text);
}

void ConsoleRun::PhaseStarted(RunPhase phase, std::uint32_t totalBytes) {
  m_phaseIndex = static_cast<int>(phase);
  m_phaseTotal = totalBytes;
  m_phaseStart = std::chrono::steady_clock::now();
  // The time and the quarters count from the first byte moved.
  if (phase == RunPhase::Erasing) {
    m_runStart = m_phaseStart;
    m_quartersShown = 0;
  }
}

void ConsoleRun::Progress(std::uint32_t bytesDone) {
  if (m_options.progressBar) m_lines.DrawBar(bytesDone, m_phaseTotal, Seconds(m_phaseStart));
  if (m_options.progressQuarters) PrintQuarters(bytesDone);
}

// Each phase is a third of the run; every quarter passed gets its line, also one jumped over.
void ConsoleRun::PrintQuarters(std::uint32_t bytesDone) {
  const std::uint64_t whole = std::max<std::uint64_t>(3ull * m_phaseTotal, 1);
  const std::uint64_t done =
      std::uint64_t{static_cast<std::uint32_t>(m_phaseIndex)} * m_phaseTotal +
      std::min(bytesDone, m_phaseTotal);
  const int quarter = static_cast<int>(done * 4 / whole);
  while (m_quartersShown < quarter) {
    ++m_quartersShown;
    m_lines.PrintLine(m_options.out, std::to_string(m_quartersShown * 25) + " %  " +
                                         ElapsedText(Seconds(m_runStart)));
  }
}

void ConsoleRun::Failed(const std::string& text) {
  m_lines.PrintLine(m_options.err, "Fehler: " + text);
  if (m_options.errors != nullptr) m_options.errors->push_back(text);
}

void ConsoleRun::Warning(const std::string& text) {
  m_lines.PrintLine(m_options.err, "Warnung: " + text);
}

// Discovery while the device is known to be gone or not yet found again; once it is back it is
// left alone, since the run is about to open it.
void ConsoleRun::AwaitingDevice() {
  if (m_control.m_deviceRemoved.load() == 0 && m_device.deviceCount != 0) return;
  m_device = m_discover();
  m_control.m_deviceRemoved = 0;
}

void ConsoleRun::Finished(const RunResult& result) {
  m_lines.EraseBar();
  m_result = result;
}

}  // namespace kestrune::cli
