#pragma once
// `kestrune program FILE`: discovery, the start checks every front end makes, then a programming
// run shown on the console.

#include <string>

#include <functional>

#include "backend/device_backend.h"
#include "cli/console_options.h"
#include "job/run_events.h"

namespace kestrune::cli {

// Programs `firmwarePath` into the one device on `bus`, logging into `infosFolder`. Returns
// kExitOk when the device was programmed and verified, kExitLogLineMissing when it was but its log
// line could not be written, kExitAborted when the operator stopped the run (Ctrl-C, or the stop
// request of the control handed to `serving`), kExitNoDevice or kExitRefused when the start
// checks refused it, kExitFailed when the run failed. `serving` is told the run's control once the
// run starts (so that another thread may stop it), and null before the control goes.
int ProgramFirmware(DeviceBackend& backend, DeviceBus& bus, const std::string& infosFolder,
                    const std::string& firmwarePath, const ConsoleOptions& console,
                    const std::function<void(RunControl*)>& serving = {});
inline int ProgramFirmware(DeviceBackend& backend, const std::string& infosFolder,
                           const std::string& firmwarePath, const ConsoleOptions& console) {
  return ProgramFirmware(backend, backend.Bus(), infosFolder, firmwarePath, console);
}

// The JSON name of an exit status of a run ("succeeded", "failed", ...).
const char* OutcomeName(int status);

}  // namespace kestrune::cli
