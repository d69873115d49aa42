#pragma once
// A run as a record: each phase with its bytes and duration, the run's duration and its result.
// RunTimeline sits between the run and the front end's own RunEvents, passing every event on,
// so that a front end that prints a result document need not keep time itself.

#include <chrono>
#include <cstdint>
#include <vector>

#include "job/run_events.h"

namespace kestrune {

struct PhaseRecord {
  RunPhase phase = RunPhase::Erasing;
  std::uint32_t totalBytes = 0;
  std::uint32_t bytesDone = 0;  // the last progress reported: less than the total if it ended early
  double seconds = 0;
};

struct RunTimes {
  std::vector<PhaseRecord> phases;  // the phases that started, in order
  double seconds = 0;               // from the first event to Finished
  RunResult result;
};

class RunTimeline final : public RunEvents {
 public:
  explicit RunTimeline(RunEvents& shown) : m_shown(shown) {}

  void Status(const std::string& text) override;
  void PhaseStarted(RunPhase phase, std::uint32_t totalBytes) override;
  void Progress(std::uint32_t bytesDone) override;
  void Failed(const std::string& text) override;
  void Aborted() override;
  void Succeeded() override;
  void Warning(const std::string& text) override;
  void AwaitingDevice() override;
  JobDevice CurrentDevice() override;
  void Finished(const RunResult& result) override;

  // Complete once Finished was passed on.
  const RunTimes& Times() const { return m_record; }

 private:
  using Clock = std::chrono::steady_clock;
  void Started();
  void EndPhase();

  RunEvents& m_shown;
  RunTimes m_record;
  bool m_started = false;
  bool m_phaseOpen = false;
  Clock::time_point m_runStart;
  Clock::time_point m_phaseStart;
};

}  // namespace kestrune
