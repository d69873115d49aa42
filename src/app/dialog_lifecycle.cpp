// Start-up, the polling timer, device notifications, command dispatch and shutdown.

#include "app/control_ids.h"
#include "app/programmer_dialog.h"
#include "app/run_commands.h"
#include "device/device_path.h"

namespace kestrune {

namespace {

constexpr std::uint32_t kPollPeriodMs = 250;
// With no device, an enumeration runs on every 21st tick (5.25 s).
constexpr int kIdleTicksBeforeRescan = 20;

}  // namespace

ProgrammerDialog::ProgrammerDialog(Window& window, DialogServices services)
    : m_window(window), m_services(std::move(services)) {}

ProgrammerDialog::~ProgrammerDialog() {
  m_services.bus.SetListener({});
  if (m_worker.joinable()) {
    // Only reached when the window is torn down during a run: stop it, and let a waiting error
    // report go on.
    m_shared.m_abortRequested = 1;
    m_closing = true;
    m_errorAck.release();
    m_worker.join();
  }
}

bool ProgrammerDialog::OnInitDialog() {
  LoadMacRanges();
  m_nextSerial = 0;
  m_memoryMap.reset();
  m_deviceCount = 0;
  m_firmwareReloadTicks = 0;
  m_idleTicks = 0;
  m_firmwareState = FirmwareState::NoFile;
  m_flashSize = 0;
  m_shared.m_runStatus = RunStatusNone;
  m_identityState = IdentityState::NotRead;
  m_deviceError = false;
  m_busy = 0;
  m_rescanRequested = 0;
  LoadNextSerial();
  LoadLedger();
  // From here on the window holds the semaphore; a worker's error report waits for OnRunError.
  m_errorAck.acquire();
  m_services.browseDecoration.Decorate(kIdBrowse);
  m_services.fileDrop.Attach(kIdFirmwarePath);
  LoadPathHistory();
  m_window.SetControlText(kIdFirmwarePath, m_firmwarePath);
  // The bus may report on any thread; the window hands its events to OnDeviceChange.
  m_services.bus.SetListener([&window = m_window](DeviceEvent event, const std::string& path) {
    window.PostDeviceChange(event, path);
  });
  Enumerate();
  DescribeFirmware();
  m_window.StartTimer(ID_POLL_TIMER, kPollPeriodMs);
  return true;
}

void ProgrammerDialog::OnTimer(int id) {
  if (id != ID_POLL_TIMER) return;
  if (m_deviceCount != 0) {
    m_idleTicks = 0;
  } else if (++m_idleTicks > kIdleTicksBeforeRescan) {
    m_idleTicks = 0;
    m_rescanRequested = 1;
  }
  if (m_rescanRequested != 0 && m_busy == 0) {
    m_rescanRequested = 0;
    Enumerate();
  } else if (m_firmwareReloadTicks != 0 && --m_firmwareReloadTicks == 0) {
    DescribeFirmware();
  }
}

void ProgrammerDialog::OnDeviceChange(DeviceEvent event, const std::string& path) {
  if (event == DeviceEvent::Removal && !m_devicePath.empty() &&
      SameDevicePath(path, m_devicePath)) {
    m_shared.m_deviceRemoved = 1;
  }
  if (m_busy != 0) {
    m_rescanRequested = 1;
  } else {
    Enumerate();
  }
}

void ProgrammerDialog::OnCommand(int id) {
  switch (id) {
    case kIdOk:
      return OnOK();
    case kIdCancel:
      return OnCancel();
    case kIdBrowse:
      return OnBrowse();
    case kIdTest:
      return OnTest();
    case kIdMacSetzen:
      return OnMacSetzen();
    case ID_RUN_FINISHED:
      return OnRunFinished();
    case ID_RUN_REENUMERATE:
      return OnRunReenumerate();
    case ID_RUN_ERROR:
      return OnRunError();
    case ID_RUN_WARNING:
      return OnRunWarning();
    case ID_RUN_STATUS:
      return OnRunStatus();
    case ID_RUN_PROGRESS:
      return OnRunProgress();
    case ID_RUN_PROGRESS_RANGE:
      return OnRunProgressRange();
    default:
      return;
  }
}

ColourScheme ProgrammerDialog::ControlColour(int id) const {
  return ControlColourScheme(id, {m_deviceCount, m_deviceError, m_firmwareState,
                                  m_shared.m_runStatus.load(), m_identityState});
}

}  // namespace kestrune
