#pragma once
// RunEvents for tests: records every event in order, answers error boxes at once, and notes for
// every error whether the device connection was still open when the box came up.

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "job/run_events.h"

namespace kestrune::testkit {

struct RecordedRunEvent {
  enum Kind {
    Status,
    Phase,
    Progress,
    Failed,
    Aborted,
    Succeeded,
    Warning,
    AwaitingDevice,
    Finished
  };
  explicit RecordedRunEvent(Kind k, std::string t = {}, RunPhase p = RunPhase::Erasing,
                            std::uint32_t b = 0, int open = 0)
      : kind(k), text(std::move(t)), phase(p), bytes(b), openConnections(open) {}

  Kind kind;
  std::string text;                    // status, error or warning text
  RunPhase phase = RunPhase::Erasing;  // of Phase, and of the phase a Progress belongs to
  std::uint32_t bytes = 0;             // Phase: its total; Progress: bytes done
  int openConnections = 0;             // at the moment of an error or warning box
  RunResult result;                    // of Finished
};

class RecordingRunEvents final : public RunEvents {
 public:
  // `openConnections` tells how many device connections are open right now.
  explicit RecordingRunEvents(std::function<int()> openConnections)
      : m_openConnections(std::move(openConnections)) {}

  void Status(const std::string& text) override {
    Add(RecordedRunEvent(RecordedRunEvent::Status, text));
  }
  void PhaseStarted(RunPhase phase, std::uint32_t totalBytes) override {
    Add(RecordedRunEvent(RecordedRunEvent::Phase, "", phase, totalBytes));
  }
  void Progress(std::uint32_t bytesDone) override;
  void Failed(const std::string& text) override {
    Add(RecordedRunEvent(RecordedRunEvent::Failed, text, RunPhase::Erasing, 0,
                         m_openConnections()));
    if (onError) onError();
  }
  void Aborted() override { Add(RecordedRunEvent(RecordedRunEvent::Aborted)); }
  void Succeeded() override { Add(RecordedRunEvent(RecordedRunEvent::Succeeded)); }
  void Warning(const std::string& text) override {
    Add(RecordedRunEvent(RecordedRunEvent::Warning, text, RunPhase::Erasing, 0,
                         m_openConnections()));
  }
  void AwaitingDevice() override { Add(RecordedRunEvent(RecordedRunEvent::AwaitingDevice)); }
  JobDevice CurrentDevice() override { return currentDevice(); }
  void Finished(const RunResult& result) override {
    RecordedRunEvent event(RecordedRunEvent::Finished);
    event.result = result;
    Add(event);
  }

  // The flags the run polls; tests raise them.
  RunControl control;
  // The front end's device data; tests set it before the run.
  std::function<JobDevice()> currentDevice = [] { return JobDevice{}; };
  // Called on the run's thread for every event, after it was recorded.
  std::function<void(const RecordedRunEvent&)> onEvent;
  // Called on the run's thread while it waits for the acknowledgement of an error box.
  std::function<void()> onError;

  std::vector<RecordedRunEvent> Events() const {
    std::lock_guard lock(m_mutex);
    return m_events;
  }
  std::vector<std::string> Errors() const { return Texts(RecordedRunEvent::Failed); }
  std::vector<std::string> Warnings() const { return Texts(RecordedRunEvent::Warning); }
  std::vector<std::string> Statuses() const { return Texts(RecordedRunEvent::Status); }
  int Count(RecordedRunEvent::Kind kind) const;
  // The outcome of the run's Finished event; None before it.
  RunOutcome Outcome() const;
  // The last bytes done reported in `phase`; none when the phase did not report progress.
  std::optional<std::uint32_t> LastProgress(RunPhase phase) const;

 private:
  void Add(const RecordedRunEvent& event) {
    {
      std::lock_guard lock(m_mutex);
      m_events.push_back(event);
    }
    if (onEvent) onEvent(event);
  }
  std::vector<std::string> Texts(RecordedRunEvent::Kind kind) const;

  mutable std::mutex m_mutex;
  std::function<int()> m_openConnections;
  std::vector<RecordedRunEvent> m_events;
  RunPhase m_phase = RunPhase::Erasing;  // the run's thread only
};

inline void RecordingRunEvents::Progress(std::uint32_t bytesDone) {
  {
    std::lock_guard lock(m_mutex);
    for (auto it = m_events.rbegin(); it != m_events.rend(); ++it) {
      if (it->kind == RecordedRunEvent::Phase) {
        m_phase = it->phase;
        break;
      }
    }
  }
  Add(RecordedRunEvent(RecordedRunEvent::Progress, "", m_phase, bytesDone));
}

inline int RecordingRunEvents::Count(RecordedRunEvent::Kind kind) const {
  int n = 0;
  for (const RecordedRunEvent& e : Events()) n += e.kind == kind;
  return n;
}

inline RunOutcome RecordingRunEvents::Outcome() const {
  for (const RecordedRunEvent& e : Events()) {
    if (e.kind == RecordedRunEvent::Finished) return e.result.outcome;
  }
  return RunOutcome::None;
}

inline std::optional<std::uint32_t> RecordingRunEvents::LastProgress(RunPhase phase) const {
  std::optional<std::uint32_t> last;
  for (const RecordedRunEvent& e : Events()) {
    if (e.kind == RecordedRunEvent::Progress && e.phase == phase) last = e.bytes;
  }
  return last;
}

inline std::vector<std::string> RecordingRunEvents::Texts(RecordedRunEvent::Kind kind) const {
  std::vector<std::string> texts;
  for (const RecordedRunEvent& e : Events()) {
    if (e.kind == kind) texts.push_back(e.text);
  }
  return texts;
}

}  // namespace kestrune::testkit
