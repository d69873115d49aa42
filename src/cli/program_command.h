#pragma once
// `kestrune program FILE`: the checks of the window's OK button, then a programming run on the
// console window.

#include <string>

#include "cli/console_window.h"
#include "cli/device_backend.h"

namespace kestrune::cli {

// Programs `firmwarePath` into the one device of `backend`, logging into `infosFolder`. Returns
// kExitOk when the device was programmed and verified, kExitLogLineMissing when it was but its log
// line could not be written, kExitAborted when the operator stopped the run (Ctrl-C), kExitFailed
// when the run was refused or failed.
int ProgramFirmware(DeviceBackend& backend, const std::string& infosFolder,
                    const std::string& firmwarePath, const ConsoleWindowOptions& console);

}  // namespace kestrune::cli
