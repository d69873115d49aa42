#pragma once
// `kestrune program FILE`: the checks of the window's OK button, then a programming run on the
// console window.

#include <string>

#include "cli/console_window.h"
#include "backend/device_backend.h"

namespace kestrune::cli {

// Programs `firmwarePath` into the one device on `bus`, logging into `infosFolder`. Returns
// kExitOk when the device was programmed and verified, kExitLogLineMissing when it was but its log
// line could not be written, kExitAborted when the operator stopped the run (Ctrl-C or
// ConsoleWindow::Cancel through `serving`), kExitNoDevice or kExitRefused when the
// checks of OK refused it, kExitFailed when the run failed. `serving` is told the console window
// once it serves the dialog (so that another thread may Cancel it), and null before it goes.
int ProgramFirmware(DeviceBackend& backend, DeviceBus& bus, const std::string& infosFolder,
                    const std::string& firmwarePath, const ConsoleWindowOptions& console,
                    const std::function<void(ConsoleWindow*)>& serving = {});
inline int ProgramFirmware(DeviceBackend& backend, const std::string& infosFolder,
                           const std::string& firmwarePath, const ConsoleWindowOptions& console) {
  return ProgramFirmware(backend, backend.Bus(), infosFolder, firmwarePath, console);
}

// The JSON name of an exit status of a run ("succeeded", "failed", ...).
const char* OutcomeName(int status);

}  // namespace kestrune::cli
