#include "job/run_timeline.h"

namespace kestrune {
namespace {

double SecondsSince(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

void RunTimeline::Started() {
  if (m_started) return;
  m_started = true;
  m_runStart = Clock::now();
}

void RunTimeline::EndPhase() {
  if (!m_phaseOpen) return;
  m_phaseOpen = false;
  m_record.phases.back().seconds = SecondsSince(m_phaseStart);
}

void RunTimeline::Status(const std::string& text) {
  Started();
  m_shown.Status(text);
}

void RunTimeline::PhaseStarted(RunPhase phase, std::uint32_t totalBytes) {
  Started();
  EndPhase();
  m_phaseStart = Clock::now();
  m_phaseOpen = true;
  m_record.phases.push_back({phase, totalBytes, 0, 0});
  m_shown.PhaseStarted(phase, totalBytes);
}

void RunTimeline::Progress(std::uint32_t bytesDone) {
  if (!m_record.phases.empty()) m_record.phases.back().bytesDone = bytesDone;
  m_shown.Progress(bytesDone);
}

void RunTimeline::Failed(const std::string& text) {
  EndPhase();
  m_shown.Failed(text);
}

void RunTimeline::Aborted() {
  EndPhase();
  m_shown.Aborted();
}

void RunTimeline::Succeeded() {
  EndPhase();
  m_shown.Succeeded();
}

void RunTimeline::Warning(const std::string& text) {
  m_shown.Warning(text);
}

void RunTimeline::AwaitingDevice() {
  Started();
  m_shown.AwaitingDevice();
}

JobDevice RunTimeline::CurrentDevice() {
  return m_shown.CurrentDevice();
}

void RunTimeline::Finished(const RunResult& result) {
  Started();
  EndPhase();
  m_record.seconds = SecondsSince(m_runStart);
  m_record.result = result;
  m_shown.Finished(result);
}

}  // namespace kestrune
