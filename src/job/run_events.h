#pragma once
// The seam between a programming run on its worker thread and the front end that started it. The
// run reports only through RunEvents, in this order: Status texts at any time; PhaseStarted for
// erasing, programming and verifying, each followed by rising Progress of its own bytes; at most
// one of Failed (a box the front end shows while the run waits), Aborted or Succeeded; Warning
// after a success whose log line is missing, lacks the unique ID, or could not be recorded at
// once; Finished last, on every path.
// Front ends render the events their own way: the dialog as the commands and 16-bit bar of the
// window, the console as real bytes, rates and times.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace kestrune {

struct MemoryMap;
class RunRecorder;

// Flags the front end raises at any time during a run; the run polls them. The front end clears
// both before it starts a run.
struct RunControl {
  // The user asked to stop; the block transfers poll it too. Never cleared while a run is
  // active: a transfer that saw it reports it as done.
  std::atomic<int> m_abortRequested{0};
  // The interface at the device path was removed; the run waits for it after it wrote the
  // option bytes. The front end clears it when it enumerates.
  std::atomic<int> m_deviceRemoved{0};
};

// The device as the front end last enumerated it.
struct JobDevice {
  int deviceCount = 0;
  // Interface path passed to STDFU_Open (8-bit text).
  std::string devicePath;
  // Bytes of writable flash (sum of the sectors with attribute 'g').
  std::uint32_t flashSize = 0;
  // The parsed memory map; null when the front end holds no device data.
  std::shared_ptr<const MemoryMap> memoryMap;
};

// Copies the run takes when it starts, so that the front end may change its own data meanwhile.
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
  // A read-protected device is unprotected first (which erases the whole chip), and a verified
  // run starts the new firmware. Both are the command line's to ask for; the dialog never does.
  bool unprotect = false;
  bool leave = false;
  // Each sector is read before it is erased: one that already holds what the run would leave
  // is neither erased nor written, a blank one is written without an erase.
  bool skipUnchanged = false;
  // Records a verified run beside the download log, or null; outlives the run.
  RunRecorder* recorder = nullptr;
};

enum class RunPhase { Erasing, Programming, Verifying };

enum class RunOutcome {
  // Ended without a verdict of its own (none so far: every ending path gives one).
  None,
  Aborted,
  Failed,
  Succeeded,
};

// Why a failed run failed, where the device told; front ends that can say more than the box's
// text add it.
enum class RunFailureReason {
  Unknown,
  ReadProtected,  // read protection level 1: only Read Unprotect leads out
  DeviceGone,     // the device left the bus during the run
};

struct RunResult {
  RunOutcome outcome = RunOutcome::None;
  // Verified, but its line in the download log could not be written.
  bool logLineMissing = false;
  // The line written into the download log (8-bit text, without its line feed).
  std::string logLine;
  // Verified, but the device's unique ID could not be read: its log line lacks it.
  bool uniqueIdMissing = false;
  RunFailureReason failureReason = RunFailureReason::Unknown;
};

class RunEvents {
 public:
  virtual ~RunEvents() = default;

  // A status text (at most 255 characters, 8-bit). Returns at once.
  virtual void Status(const std::string& text) = 0;

  // A phase begins that moves `totalBytes` (the image's size in all three phases).
  virtual void PhaseStarted(RunPhase phase, std::uint32_t totalBytes) = 0;
  // Bytes of the current phase done so far; never more than its total. Erasing counts the
  // image's bytes that the erased sectors cover.
  virtual void Progress(std::uint32_t bytesDone) = 0;

  // The run failed: the front end shows `text` (at most 255 characters) and the call returns once
  // the operator saw it. The device is free by then.
  virtual void Failed(const std::string& text) = 0;
  // The run stopped on the user's request, or was verified; a last status text follows.
  virtual void Aborted() = 0;
  virtual void Succeeded() = 0;
  // A warning the operator must see (returns once seen); the outcome stays.
  virtual void Warning(const std::string& text) = 0;

  // The run waits for the device to register anew after its option bytes were written: the
  // front end should enumerate now. Must not block.
  virtual void AwaitingDevice() = 0;
  // A consistent copy of the device data the front end holds now. A front end that does not
  // enumerate during a run returns the device of the run's start.
  virtual JobDevice CurrentDevice() = 0;

  // The last event of every run.
  virtual void Finished(const RunResult& result) = 0;
};

}  // namespace kestrune
