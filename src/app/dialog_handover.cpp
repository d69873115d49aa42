// The worker's side of the hand-over: a run's events become the window's state and commands.
// Texts are written under the lock and then announced by a posted command; errors and warnings
// wait until the window closed their box. Progress becomes work units: erasing counts half of the
// bytes it covers, programming and verifying each byte, all on one bar.

#include "app/programmer_dialog.h"
#include "app/run_commands.h"

namespace kestrune {

namespace {

// The hand-over buffers hold 255 characters and the terminator.
constexpr std::size_t kHandOverTextMax = 255;

}  // namespace

void ProgrammerDialog::Status(const std::string& text) {
  {
    std::lock_guard lock(m_handOverMutex);
    m_statusText.push_back(text.substr(0, kHandOverTextMax));
  }
  m_window.PostCommand(ID_RUN_STATUS);
}

void ProgrammerDialog::PhaseStarted(RunPhase phase, std::uint32_t totalBytes) {
  m_phaseCountsHalf = phase == RunPhase::Erasing;
  if (phase == RunPhase::Erasing) {
    m_phaseBase = 0;
    // The whole bar: half the image for erasing, then all of it twice.
    m_shared.m_progressTotal = static_cast<int>(totalBytes / 2 + 2 * totalBytes);
    m_window.PostCommand(ID_RUN_PROGRESS_RANGE);
    return;
  }
  m_phaseBase = m_shared.m_progressPos.load();
}

void ProgrammerDialog::Progress(std::uint32_t bytesDone) {
  m_shared.m_progressPos =
      m_phaseBase + static_cast<int>(m_phaseCountsHalf ? bytesDone / 2 : bytesDone);
  m_window.PostCommand(ID_RUN_PROGRESS);
}

void ProgrammerDialog::Failed(const std::string& text) {
  m_shared.m_runStatus = RunStatusFailed;
  HandOverBox(ID_RUN_ERROR, text);
}

void ProgrammerDialog::Aborted() {
  m_shared.m_runStatus = RunStatusAborted;
}

void ProgrammerDialog::Succeeded() {
  m_shared.m_runStatus = RunStatusSucceeded;
}

void ProgrammerDialog::Warning(const std::string& text) {
  HandOverBox(ID_RUN_WARNING, text);
}

void ProgrammerDialog::HandOverBox(int command, const std::string& text) {
  {
    std::lock_guard lock(m_handOverMutex);
    m_errorText = text.substr(0, kHandOverTextMax);
  }
  m_window.PostCommand(command);
  if (m_closing) return;
  m_errorAck.acquire();
}

void ProgrammerDialog::AwaitingDevice() {
  m_window.PostCommand(ID_RUN_REENUMERATE);
}

JobDevice ProgrammerDialog::CurrentDevice() {
  std::lock_guard lock(m_deviceMutex);
  return {m_deviceCount, m_devicePath, m_flashSize, m_memoryMap};
}

void ProgrammerDialog::Finished(const RunResult& result) {
  m_shared.m_logLineMissing = result.logLineMissing ? 1 : 0;
  m_window.PostCommand(ID_RUN_FINISHED);
}

}  // namespace kestrune
