#pragma once
// `kestrune program FILE`: discovery, the start checks every front end makes, then a programming
// run shown on the console.

#include <string>

#include <functional>
#include <optional>
#include <vector>

#include "backend/device_backend.h"
#include "cli/console_options.h"
#include "cli/json_output.h"
#include "device/device_record.h"
#include "job/run_events.h"
#include "job/run_recorder.h"
#include "job/run_timeline.h"

namespace kestrune::cli {

// What `program` may do beyond the dialog's run: unprotect a read-protected device (which erases
// the whole chip), start the new firmware after a verified run, spare the erase and the write of
// sectors that need none, or only show what a run would do. And where a verified run is recorded
// besides the download log (the station's ledger), as the dialog's runs are.
struct ProgramChoices {
  bool unprotect = false;
  bool leave = false;
  bool skipUnchanged = false;
  bool dryRun = false;
  RunRecorder* recorder = nullptr;
};

// Programs `firmwarePath` into the one device on `bus`, logging into `infosFolder`. Returns
// kExitOk when the device was programmed and verified, kExitLogLineMissing when it was but its log
// line could not be written or lacks the device's unique ID, kExitAborted when the operator
// stopped the run (Ctrl-C, or the stop request of the control handed to `serving`), kExitNoDevice
// or kExitRefused when the start checks refused it, kExitFailed when the run failed (with the
// reason on stderr, where the device told it). `serving` is told the run's control once the run
// starts (so that another thread may stop it), and null before the control goes. `report`, when
// given, receives the device as discovered before the run and, when the run started, its record.
struct ProgramReport {
  std::optional<DeviceRecord> device;
  std::string usbSerialNumber;
  std::optional<RunTimes> run;
};
int ProgramFirmware(DeviceBackend& backend, DeviceBus& bus, const std::string& infosFolder,
                    const std::string& firmwarePath, const ConsoleOptions& console,
                    const std::function<void(RunControl*)>& serving = {},
                    const ProgramChoices& choices = {}, ProgramReport* report = nullptr);
inline int ProgramFirmware(DeviceBackend& backend, const std::string& infosFolder,
                           const std::string& firmwarePath, const ConsoleOptions& console) {
  return ProgramFirmware(backend, backend.Bus(), infosFolder, firmwarePath, console);
}

// The JSON name of an exit status of a run ("succeeded", "failed", ...).
const char* OutcomeName(int status);

// What --json says of one device's run, in `program` and in each device of `program --all`.
Json JsonProgramRun(int status, const std::vector<std::string>& errors,
                    const ProgramReport& report);

}  // namespace kestrune::cli
