#pragma once
// ProgrammerDialog: the main window's state and all of its logic, written against the window seam
// (app/window.h). It owns the chosen firmware and its description, the device as last enumerated,
// the progress of a run and the hand-over with the worker thread: it receives the run's events and
// turns them into the window's commands, texts and 16-bit progress.
//
// Threads: every handler runs on the window's thread. The worker of a run calls only the RunEvents
// operations. What both threads touch is atomic (RunShared, m_errorReply), guarded by a mutex
// (the status and error texts, the device data the worker may ask for anew), or handed to the
// worker as a copy when the run starts (JobInputs).

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "app/binary_semaphore.h"
#include "app/colour_scheme.h"
#include "app/front_end_services.h"
#include "app/ledger_run_recorder.h"
#include "app/run_commands.h"
#include "app/serial_number_dialog.h"
#include "app/window.h"
#include "device/device_bus.h"
#include "dfu/stdfu.h"
#include "firmware/firmware_state.h"
#include "job/run_events.h"
#include "ledger/station_ledger.h"
#include "platform/clock.h"
#include "support/record_array.h"

namespace kestrune {

// The routine a run executes on its worker thread (normally ProgrammingJob bound to the DFU
// library and the clock). Its last event on every path must be Finished.
using JobRoutine =
    std::function<void(RunEvents& events, const RunControl& control, const JobInputs& inputs)>;

// What the dialog works with besides its window.
struct DialogServices {
  StdfuLibrary& stdfu;
  DeviceBus& bus;
  Clock& clock;
  // Folder of the range files and of the download log ("Infos" beside the executable).
  std::string infosFolder;
  JobRoutine runJob;
  // Runs the serial-number dialog of "MAC setzen" modally; without one "MAC setzen" ends there.
  SerialNumberDialogRunner runSerialNumberDialog = nullptr;
  // Where the firmware paths are remembered between runs (combo box 1000).
  PathHistoryStore& pathHistory = NoPathHistory();
  // The browse button's picture (button 1001).
  BrowseButtonDecoration& browseDecoration = NoBrowseDecoration();
  // Files dropped onto combo box 1000.
  FileDropAttachment& fileDrop = NoFileDrop();
};

class ProgrammerDialog final : public RunEvents {
 public:
  ProgrammerDialog(Window& window, DialogServices services);
  // Unsubscribes from the device bus; a worker still running is asked to stop and joined.
  ~ProgrammerDialog() override;
  ProgrammerDialog(const ProgrammerDialog&) = delete;
  ProgrammerDialog& operator=(const ProgrammerDialog&) = delete;

  // --- Window events, on the window's thread ---
  bool OnInitDialog();
  void OnTimer(int id);
  void OnDeviceChange(DeviceEvent event, const std::string& path);
  // Buttons (OK, Abbrechen, browse, Test, "MAC setzen") and the commands posted by the worker.
  void OnCommand(int id);
  // Combo box 1000: a keystroke in its edit field (also a dropped file), a pick from its list.
  void OnFirmwarePathEdited();
  void OnFirmwarePathPicked();
  // The scheme control `id` is painted in now.
  ColourScheme ControlColour(int id) const;

  void OnOK();
  void OnCancel();
  void OnTest();
  void OnBrowse();
  void OnMacSetzen();

  void SetBusy(bool busy);
  void Enumerate();
  void DescribeFirmware();

  void OnRunFinished();
  void OnRunError();
  void OnRunWarning();
  void OnRunStatus();
  void OnRunProgress();
  void OnRunProgressRange();
  void OnRunReenumerate();

  // --- RunEvents, on the worker's thread ---
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

  // The flags and counters a run shares with the window.
  RunShared& Shared() { return m_shared; }

  // --- What front ends read, on the window's thread ---
  bool Busy() const { return m_busy; }
  int DeviceCount() const { return m_deviceCount; }
  kestrune::FirmwareState FirmwareVerdict() const { return m_firmwareState; }
  int RunStatus() const { return m_shared.m_runStatus.load(); }
  // The last run was verified but its line in the download log could not be written.
  bool LogLineMissing() const { return m_shared.m_logLineMissing.load() != 0; }
  const std::string& FirmwarePath() const { return m_firmwarePath; }

 private:
  void StartRun();
  void TakeFirmwarePathFromControl();
  void RefuseStart(MessageIcon icon, const char* text);
  JobInputs CopyRunInputs() const;
  // Hands `text` over for the box that `command` announces and waits until it was closed.
  void HandOverBox(int command, const std::string& text);
  // Shows the handed-over text in a box and lets the waiting worker go on.
  void ShowHandedOverBox(const char* caption, MessageIcon icon);

  // Steps of start-up; the history is stored again when a run starts or the window closes.
  void LoadMacRanges();
  void LoadNextSerial();
  void LoadLedger();
  void LoadPathHistory();
  void SavePathHistory();

  Window& m_window;
  DialogServices m_services;

  std::string m_firmwarePath;
  int m_firmwareReloadTicks = 0;
  int m_deviceCount = 0;
  std::string m_devicePath;
  std::string m_firmwareVersion;
  std::string m_hardwareId;
  std::string m_deviceKind;
  std::string m_firmwareDate;
  int m_progressShift = 0;
  // On the worker's thread: what m_progressPos held when the current phase started, and whether
  // the phase counts half (erasing).
  int m_phaseBase = 0;
  bool m_phaseCountsHalf = false;
  // m_progressPos, m_progressTotal, m_abortRequested, m_deviceRemoved, m_runStatus.
  RunShared m_shared;
  int m_rescanRequested = 0;
  int m_busy = 0;
  bool m_deviceError = false;
  IdentityState m_identityState = IdentityState::NotRead;
  std::uint32_t m_flashSize = 0;
  kestrune::FirmwareState m_firmwareState = FirmwareState::NoFile;
  std::shared_ptr<const MemoryMap> m_memoryMap;
  int m_idleTicks = 0;
  std::array<std::uint8_t, 1024> m_otpImage{};
  // The MAC ranges of Infos/MacList.cfg and the serial number proposed first.
  RecordArray m_macRanges;
  int m_nextSerial = 0;
  // The identity ledger of Infos/Ledger.cfg (or KESTRUNE_LEDGER) and the recorder the runs get,
  // both null without one. When that file leaves it in doubt, the reason no identity is assigned.
  std::unique_ptr<StationLedger> m_ledger;
  std::unique_ptr<LedgerRunRecorder> m_runRecorder;
  OperatorMessage m_ledgerRefusal;

  // Guards the texts handed over by the worker. Status texts wait in order, one for each posted
  // ID_RUN_STATUS, so that a quick worker loses none of them.
  std::mutex m_handOverMutex;
  std::deque<std::string> m_statusText;
  // The text of the error or warning box the worker waits on.
  std::string m_errorText;
  // Held by the window from start-up on; released once per error or warning box that was closed.
  BinarySemaphore m_errorAck{1};
  // Set when the dialog goes away under a running worker: its error reports no longer wait.
  std::atomic<bool> m_closing{false};

  // Guards m_deviceCount, m_devicePath, m_flashSize and m_memoryMap against the worker's
  // CurrentDevice while the window enumerates during a run; the window's own reads need no lock.
  mutable std::mutex m_deviceMutex;

  std::thread m_worker;
};

}  // namespace kestrune
