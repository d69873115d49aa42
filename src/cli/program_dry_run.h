#pragma once
// `kestrune program --dry-run FILE`: what a run would do to each sector of the device, and how
// many bytes it would move, without changing anything on the device. With --skip-unchanged the
// sectors are read to decide.

#include <atomic>
#include <string>

#include "cli/console_options.h"
#include "dfu/stdfu.h"
#include "job/run_events.h"
#include "platform/clock.h"

namespace kestrune::cli {

// Prints the plan of a run of `firmwarePath` on `device`. Returns kExitOk, kExitRefused when the
// plan refuses the image (with the run's text), kExitFailed when the device could not be opened
// for the reads, kExitAborted when `abortRequested` was raised during them.
int PrintProgramPlan(StdfuLibrary& dfu, Clock& clock, const JobDevice& device,
                     const std::string& firmwarePath, bool skipUnchanged,
                     const ConsoleOptions& console, const std::atomic<int>& abortRequested);

}  // namespace kestrune::cli
