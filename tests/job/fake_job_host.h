#pragma once
// A JobHost for tests: records every report and command in order, answers error boxes at once,
// and notes for every error whether the device connection was still open when the box came up.

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "job/job_host.h"

namespace kestrune {

struct JobEvent {
  enum Kind { Status, Error, Warning, Command } kind;
  std::string text;         // status, error or warning text
  int id = 0;               // command id
  int openConnections = 0;  // at the moment of an error or warning box
};

class FakeJobHost final : public JobHost {
 public:
  // `openConnections` tells how many device connections are open right now.
  explicit FakeJobHost(std::function<int()> openConnections)
      : m_openConnections(std::move(openConnections)) {}

  RunShared& Shared() override { return m_shared; }
  void ReportStatus(const std::string& text) override { Add({JobEvent::Status, text}); }
  int ReportError(const std::string& text) override {
    Add({JobEvent::Error, text, 0, m_openConnections()});
    if (onError) onError();
    return 1;
  }
  void ReportWarning(const std::string& text) override {
    Add({JobEvent::Warning, text, 0, m_openConnections()});
  }
  void PostCommand(int id) override { Add({JobEvent::Command, "", id}); }
  JobDevice CurrentDevice() override { return currentDevice(); }

  // The window's device data; tests set it before the run.
  std::function<JobDevice()> currentDevice = [] { return JobDevice{}; };
  // Called on the run's thread for every report, after it was recorded.
  std::function<void(const JobEvent&)> onEvent;
  // Called on the run's thread while it waits for the acknowledgement of an error box.
  std::function<void()> onError;

  std::vector<JobEvent> Events() const {
    std::lock_guard lock(m_mutex);
    return m_events;
  }
  std::vector<std::string> Errors() const { return Texts(JobEvent::Error); }
  std::vector<std::string> Warnings() const { return Texts(JobEvent::Warning); }
  std::vector<std::string> Statuses() const { return Texts(JobEvent::Status); }
  int CountCommands(int id) const;

 private:
  void Add(const JobEvent& event) {
    {
      std::lock_guard lock(m_mutex);
      m_events.push_back(event);
    }
    if (onEvent) onEvent(event);
  }
  std::vector<std::string> Texts(JobEvent::Kind kind) const;

  RunShared m_shared;
  mutable std::mutex m_mutex;
  std::function<int()> m_openConnections;
  std::vector<JobEvent> m_events;
};

inline int FakeJobHost::CountCommands(int id) const {
  int n = 0;
  for (const JobEvent& e : Events()) n += e.kind == JobEvent::Command && e.id == id;
  return n;
}

inline std::vector<std::string> FakeJobHost::Texts(JobEvent::Kind kind) const {
  std::vector<std::string> texts;
  for (const JobEvent& e : Events()) {
    if (e.kind == kind) texts.push_back(e.text);
  }
  return texts;
}

}  // namespace kestrune
