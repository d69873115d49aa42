// The start of a run (OK and its refusals, Test), Abbrechen, the busy state, and the window's
// side of the worker's commands.

#include "app/control_ids.h"
#include "app/programmer_dialog.h"
#include "app/run_commands.h"
#include "job/program_start.h"

namespace kestrune {

namespace {

// The progress bar takes 16-bit ranges.
constexpr int kProgressRangeLimit = 0x8000;

constexpr const char* kCaptionError = "Fehler";

}  // namespace

void ProgrammerDialog::RefuseStart(MessageIcon icon, const char* text) {
  m_window.ShowMessageBox(kCaptionError, text, MessageButtons::Ok, icon);
}

void ProgrammerDialog::OnOK() {
  if (m_busy != 0) return;
  TakeFirmwarePathFromControl();
  if (const std::optional<StartRefusal> refusal =
          CheckProgramStart(m_deviceCount, m_firmwareState)) {
    RefuseStart(*refusal == StartRefusal::SeveralDevices ? MessageIcon::Warning : MessageIcon::Stop,
                StartRefusalText(*refusal));
    return;
  }
  SavePathHistory();
  StartRun();
}

void ProgrammerDialog::OnTest() {
  // The hidden button is never disabled; one run at a time all the same.
  if (m_busy != 0) return;
  StartRun();
}

void ProgrammerDialog::StartRun() {
  m_shared.m_abortRequested = 0;
  m_window.SetProgressPosition(kIdProgress, 0);
  SetBusy(true);
  JobInputs inputs = CopyRunInputs();
  if (m_worker.joinable()) m_worker.join();  // the previous run has posted its last command
  m_shared.m_runStatus = RunStatusNone;
  m_worker = std::thread(
      [this, inputs = std::move(inputs)] { m_services.runJob(*this, m_shared, inputs); });
}

JobInputs ProgrammerDialog::CopyRunInputs() const {
  JobInputs inputs;
  inputs.firmwarePath = m_firmwarePath;
  inputs.device = {m_deviceCount, m_devicePath, m_flashSize, m_memoryMap};
  inputs.hardwareId = m_hardwareId;
  inputs.deviceKind = m_deviceKind;
  inputs.firmwareVersion = m_firmwareVersion;
  inputs.firmwareDate = m_firmwareDate;
  inputs.infosFolder = m_services.infosFolder;
  inputs.recorder = m_runRecorder.get();
  return inputs;
}

void ProgrammerDialog::OnCancel() {
  if (m_busy != 0) {
    m_window.EnableControl(kIdCancel, false);
    m_shared.m_abortRequested = 1;
    return;
  }
  if (m_firmwareState == FirmwareState::WrongHardware) SavePathHistory();
  {
    std::lock_guard lock(m_deviceMutex);
    m_memoryMap.reset();
  }
  m_window.EndDialog(kIdCancel);
}

void ProgrammerDialog::SetBusy(bool busy) {
  m_busy = busy ? 1 : 0;
  for (int id : {kIdFirmwarePath, kIdBrowse, kIdOk, kIdMacSetzen}) {
    m_window.EnableControl(id, !busy);
  }
  m_window.EnableControl(kIdCancel, true);
  m_shared.m_progressPos = 0;
  m_window.SetProgressPosition(kIdProgress, 0);
}

void ProgrammerDialog::OnRunFinished() {
  // ID_RUN_FINISHED is the worker's last act: the thread is about to return.
  if (m_worker.joinable()) m_worker.join();
  SetBusy(false);
}

void ProgrammerDialog::OnRunError() {
  // The run set the failed status before it reported; show the colour with the box.
  m_window.RepaintControl(kIdStatusLine);
  ShowHandedOverBox(kCaptionError, MessageIcon::Stop);
}

void ProgrammerDialog::OnRunWarning() {
  ShowHandedOverBox("Warnung", MessageIcon::Warning);
}

void ProgrammerDialog::ShowHandedOverBox(const char* caption, MessageIcon icon) {
  std::string text;
  {
    std::lock_guard lock(m_handOverMutex);
    text = m_errorText;
  }
  m_window.ShowMessageBox(caption, text, MessageButtons::Ok, icon);
  m_errorAck.release();
}

void ProgrammerDialog::OnRunStatus() {
  std::string text;
  {
    std::lock_guard lock(m_handOverMutex);
    if (m_statusText.empty()) return;
    text = std::move(m_statusText.front());
    m_statusText.pop_front();
  }
  m_window.SetControlText(kIdStatusLine, text);
}

void ProgrammerDialog::OnRunProgressRange() {
  int total = m_shared.m_progressTotal.load();
  m_progressShift = 0;
  while (total > kProgressRangeLimit) {
    total >>= 1;
    ++m_progressShift;
  }
  m_window.SetProgressRange(kIdProgress, static_cast<std::uint16_t>(total & 0xFFFF));
}

void ProgrammerDialog::OnRunProgress() {
  m_window.SetProgressPosition(kIdProgress, m_shared.m_progressPos.load() >> m_progressShift);
}

}  // namespace kestrune
