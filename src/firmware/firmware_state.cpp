#include "firmware/firmware_state.h"

namespace kestrune {

const char* FirmwareStateName(FirmwareState state) {
  switch (state) {
    case FirmwareState::NoFile:
      return "NoFile";
    case FirmwareState::WrongFormat:
      return "WrongFormat";
    case FirmwareState::BadChecksum:
      return "BadChecksum";
    case FirmwareState::WrongHardware:
      return "WrongHardware";
    case FirmwareState::TooLarge:
      return "TooLarge";
    case FirmwareState::Valid:
      return "Valid";
  }
  return "?";
}

}  // namespace kestrune
