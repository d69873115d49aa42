#pragma once
// The seam between a programming run on its worker thread and the window that started it. The
// window implements JobHost; the run reports only through it and never touches a control.
//
// Hand-over order: the run writes a value (a text through the call, a counter in RunShared) and
// then the matching command is posted, so the window reads the value when it handles the command.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace kestrune {

struct MemoryMap;
class StationLedger;

// The values both threads touch at any time during a run. The window owns them; they outlive the
// run. The window clears m_progressPos (SetBusy) and m_abortRequested before it starts a run.
struct RunShared {
  // Set by the window when the user asked to stop; polled by the run and the block transfers.
  // Never cleared while a run is active: a transfer that saw it reports it as done.
  std::atomic<int> m_abortRequested{0};
  // Set by the window when the interface at the device path was removed; the run waits for it
  // after it wrote the option bytes. The window clears it when it enumerates.
  std::atomic<int> m_deviceRemoved{0};
  // Work units done and in total; written by the run before it posts ID_RUN_PROGRESS or
  // ID_RUN_PROGRESS_RANGE.
  std::atomic<int> m_progressPos{0};
  std::atomic<int> m_progressTotal{0};
  // RunStatus of the current or last run; the window paints the status line by it.
  std::atomic<int> m_runStatus{0};
  // Set by a verified run whose line in the download log could not be written.
  std::atomic<int> m_logLineMissing{0};
};

// The device as the window last enumerated it.
struct JobDevice {
  int deviceCount = 0;
  // Interface path passed to STDFU_Open (8-bit text).
  std::string devicePath;
  // Bytes of writable flash (sum of the sectors with attribute 'g').
  std::uint32_t flashSize = 0;
  // The parsed memory map; null when the window holds no device data.
  std::shared_ptr<const MemoryMap> memoryMap;
};

// Copies the run takes when it starts, so that the window may rewrite its own members meanwhile.
struct JobInputs {
  // Path of the firmware file (8-bit text).
  std::string firmwarePath;
  JobDevice device;
  // The texts of the log record: the device's unique-ID text, and the firmware's device kind,
  // version and date (8-bit text).
  std::string hardwareId;
  std::string deviceKind;
  std::string firmwareVersion;
  std::string firmwareDate;
  // Folder that receives DownloadList.csv (normally "Infos" beside the executable); created when
  // missing.
  std::string infosFolder;
  // The identity ledger of a line of stations, or null: a verified run is recorded there too. Used
  // by the run alone while it is active.
  StationLedger* ledger = nullptr;
};

class JobHost {
 public:
  virtual ~JobHost() = default;

  // The shared flags and counters of the run.
  virtual RunShared& Shared() = 0;

  // Stores `text` (at most 255 characters, 8-bit) as m_statusText and posts ID_RUN_STATUS. Returns
  // at once; a later status may replace the text before the window showed it.
  virtual void ReportStatus(const std::string& text) = 0;

  // Stores `text` (at most 255 characters, 8-bit) as m_errorText, posts ID_RUN_ERROR and blocks
  // until the window has shown it in an error box and acknowledged (m_errorAck); returns the box's
  // reply. The run has set m_runStatus to RunStatusFailed before it calls this.
  virtual int ReportError(const std::string& text) = 0;

  // As ReportError, but for a "Warnung" box (ID_RUN_WARNING) that leaves m_runStatus alone.
  virtual void ReportWarning(const std::string& text) = 0;

  // Posts a command without data (ID_RUN_FINISHED, ID_RUN_REENUMERATE, ID_RUN_PROGRESS,
  // ID_RUN_PROGRESS_RANGE). Called on the run's thread; must not block.
  virtual void PostCommand(int id) = 0;

  // A consistent copy of the device data the window holds now. The run calls it while it waits
  // for the device to register anew after its option bytes were written. A window that does not
  // enumerate during a run returns the device of the run's start.
  virtual JobDevice CurrentDevice() = 0;
};

}  // namespace kestrune
