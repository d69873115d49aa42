#pragma once
// `kestrune program --all FILE`: every attached device at once, one worker and one connection
// each, as if each were alone on the bench (its own discovery and its own wait for its return
// after the option bytes). Each device's lines carry its name; a summary table ends the run.
// Ctrl-C stops every run as "Abbrechen" does.

#include <cstdio>
#include <string>

#include "backend/device_backend.h"
#include "job/run_recorder.h"

namespace kestrune::cli {

// Returns kExitOk only when every device was programmed and verified; kExitNoDevice when none is
// attached, kExitAborted after Ctrl-C, kExitFailed when a device was not verified. With
// `skipUnchanged` each run spares the sectors that need no erase or write. `recorder`, when given,
// records each verified run besides the download log.
int ProgramAll(DeviceBackend& backend, const std::string& infosFolder,
               const std::string& firmwarePath, std::FILE* out, std::FILE* err, bool json,
               bool skipUnchanged = false, RunRecorder* recorder = nullptr);

}  // namespace kestrune::cli
