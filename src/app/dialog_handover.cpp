// The worker's side of the hand-over: texts are written under the lock and then announced by a
// posted command; errors and warnings wait until the window closed their box.

#include "app/programmer_dialog.h"
#include "job/run_commands.h"

namespace kestrune {

namespace {

// The hand-over buffers hold 255 characters and the terminator.
constexpr std::size_t kHandOverTextMax = 255;

}  // namespace

void ProgrammerDialog::ReportStatus(const std::string& text) {
  {
    std::lock_guard lock(m_handOverMutex);
    m_statusText.push_back(text.substr(0, kHandOverTextMax));
  }
  PostCommand(ID_RUN_STATUS);
}

int ProgrammerDialog::ReportError(const std::string& text) {
  m_shared.m_runStatus = RunStatusFailed;
  return HandOverBox(ID_RUN_ERROR, text);
}

void ProgrammerDialog::ReportWarning(const std::string& text) {
  HandOverBox(ID_RUN_WARNING, text);
}

int ProgrammerDialog::HandOverBox(int command, const std::string& text) {
  {
    std::lock_guard lock(m_handOverMutex);
    m_errorText = text.substr(0, kHandOverTextMax);
  }
  PostCommand(command);
  if (m_closing) return 0;
  m_errorAck.acquire();
  return m_errorReply.load();
}

void ProgrammerDialog::PostCommand(int id) {
  m_window.PostCommand(id);
}

JobDevice ProgrammerDialog::CurrentDevice() {
  std::lock_guard lock(m_deviceMutex);
  return {m_deviceCount, m_devicePath, m_flashSize, m_memoryMap};
}

}  // namespace kestrune
