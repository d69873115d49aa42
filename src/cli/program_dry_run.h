#pragma once
// `kestrune program --dry-run FILE`: what a run would do to the device's option bytes and to each
// sector, and how many bytes it would move, without changing anything on the device. The option
// bytes are read to tell; with --skip-unchanged the sectors are read as well.

#include <atomic>
#include <string>

#include "cli/console_options.h"
#include "dfu/stdfu.h"
#include "job/run_events.h"
#include "platform/clock.h"

namespace kestrune::cli {

struct DryRunChoices {
  bool skipUnchanged = false;
  bool unprotect = false;  // a read-protected device would be unprotected, erasing the chip
};

// Prints the plan of a run of `firmwarePath` on `device`. Returns kExitOk, kExitRefused when the
// plan refuses the image (with the run's text), kExitFailed when the device could not be opened
// or its option bytes read, or when it is read-protected and the run would stop there (without
// `unprotect`), kExitAborted when `abortRequested` was raised during the reads.
int PrintProgramPlan(StdfuLibrary& dfu, Clock& clock, const JobDevice& device,
                     const std::string& firmwarePath, DryRunChoices choices,
                     const ConsoleOptions& console, const std::atomic<int>& abortRequested);

}  // namespace kestrune::cli
