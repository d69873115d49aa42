#pragma once
// The console's view of a programming run: status texts become lines, errors and warnings lines
// on stderr, and each phase a bar of real bytes with its rate and time (or, for several devices on
// one console, a line at every quarter of the whole run). While the run waits for its device to
// come back after the option-byte write, the console discovers it anew itself.

#include <chrono>
#include <cstdint>
#include <functional>

#include "cli/console_lines.h"
#include "cli/console_options.h"
#include "job/run_events.h"

namespace kestrune::cli {

class ConsoleRun final : public RunEvents {
 public:
  // `discover` gives the device data as the bus shows it now; `control` is the run's, whose
  // removal flag it clears when it discovered anew.
  ConsoleRun(const ConsoleOptions& options, JobDevice device, RunControl& control,
             std::function<JobDevice()> discover);

  void Status(const std::string& text) override;
  void PhaseStarted(RunPhase phase, std::uint32_t totalBytes) override;
  void Progress(std::uint32_t bytesDone) override;
  void Failed(const std::string& text) override;
  void Aborted() override {}
  void Succeeded() override {}
  void Warning(const std::string& text) override;
  void AwaitingDevice() override;
  JobDevice CurrentDevice() override { return m_device; }
  void Finished(const RunResult& result) override;

  const RunResult& Result() const { return m_result; }

 private:
  double Seconds(std::chrono::steady_clock::time_point since) const;
  void PrintQuarters(std::uint32_t bytesDone);

  const ConsoleOptions& m_options;
  ConsoleLines m_lines;
  JobDevice m_device;
  RunControl& m_control;
  std::function<JobDevice()> m_discover;
  RunResult m_result;
  int m_phaseIndex = 0;  // 0 erasing, 1 programming, 2 verifying
  std::uint32_t m_phaseTotal = 0;
  int m_quartersShown = 0;
  std::chrono::steady_clock::time_point m_runStart;
  std::chrono::steady_clock::time_point m_phaseStart;
};

}  // namespace kestrune::cli
