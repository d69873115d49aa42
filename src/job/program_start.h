#pragma once
// Whether a programming run may start: exactly one device, and a firmware file whose description
// does not rule it out (a file that is too large is left to the run's own plan). Every front end
// asks this before it starts a run, and shows the refusal's text its own way.

#include <optional>

#include "firmware/firmware_state.h"

namespace kestrune {

enum class StartRefusal {
  NoDevice,
  SeveralDevices,  // a warning rather than an error: the operator unplugs the others
  NoFile,
  WrongFormat,
  BadChecksum,
  WrongHardware,
};

std::optional<StartRefusal> CheckProgramStart(int deviceCount, FirmwareState firmware);

const char* StartRefusalText(StartRefusal refusal);

}  // namespace kestrune
