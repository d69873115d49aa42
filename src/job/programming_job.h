#pragma once
// The programming run: the routine of the worker thread that puts one firmware file into the
// flash of the one attached device and proves it by reading it back.
//
// In order: load the file and plan the run against the device's memory map (every refusal comes
// here, before the device is touched); open the device; make sure option bytes 0, 1, 8, 9 are
// 0xE3, 0xAA, 0xFF, 0x3F (writing them makes the device leave the bus: the run waits for it to
// register anew, plans again for its new data and opens it again); select the flash segment;
// erase the planned sectors (with skipUnchanged only those that need it); program; verify; append
// the download log. Everything the run has to say goes through RunEvents. Every path closes the
// connection before Failed and ends with Finished.

#include "dfu/stdfu.h"
#include "job/run_events.h"
#include "platform/clock.h"

namespace kestrune {

// Runs one programming run to its end; `inputs` are the copies taken when the run was started.
// Returns when the run is over, after its Finished event. Each run reads the file into a
// buffer of its own, so runs on several devices may go on at once.
void ProgrammingJob(RunEvents& events, const RunControl& control, StdfuLibrary& dfu, Clock& clock,
                    const JobInputs& inputs);

}  // namespace kestrune
