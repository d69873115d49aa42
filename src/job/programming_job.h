#pragma once
// The programming run: the routine of the worker thread that puts one firmware file into the
// flash of the one attached device and proves it by reading it back.
//
// In order: open the device; make sure option bytes 0, 1, 8, 9 are 0xE3, 0xAA, 0xFF, 0x3F
// (writing them makes the device leave the bus: the run waits for it to register anew and opens
// it again); select the flash segment; load the file; erase as many sectors as the file needs;
// program; verify; append the download log. Status texts, progress and errors go through the
// host only. Every path closes the connection before an error box and ends with ID_RUN_FINISHED.

#include "dfu/stdfu.h"
#include "job/job_host.h"
#include "platform/clock.h"

namespace kestrune {

// Runs one programming run to its end; `inputs` are the copies taken when the run was started.
// Returns when the run is over, after it posted ID_RUN_FINISHED. Only one run at a time: the
// firmware buffer is shared.
void ProgrammingJob(JobHost& host, StdfuLibrary& dfu, Clock& clock, const JobInputs& inputs);

}  // namespace kestrune
