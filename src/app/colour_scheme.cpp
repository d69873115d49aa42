#include "app/colour_scheme.h"

#include "app/control_ids.h"
#include "app/run_commands.h"

namespace kestrune {

SchemeColours ColoursOf(ColourScheme scheme) {
  switch (scheme) {
    case ColourScheme::Bad:
      return {{255, 60, 0}, {255, 178, 178}};
    case ColourScheme::Good:
      return {{255, 255, 0}, {100, 200, 100}};
    case ColourScheme::Doubtful:
      return {{255, 100, 0}, {255, 222, 178}};
    case ColourScheme::IdentityPresent:
      return {{0, 105, 0}, {190, 230, 190}};
    case ColourScheme::FrameworkDefault:
      break;
  }
  return {};
}

namespace {

ColourScheme DeviceCountScheme(const ColourState& state) {
  if (state.deviceCount == 0 || state.deviceError) return ColourScheme::Bad;
  return state.deviceCount == 1 ? ColourScheme::Good : ColourScheme::Doubtful;
}

ColourScheme FirmwareKindScheme(const ColourState& state) {
  if (state.firmwareState == FirmwareState::Valid) return ColourScheme::Good;
  if (state.firmwareState == FirmwareState::NoFile) return ColourScheme::Doubtful;
  return ColourScheme::Bad;
}

ColourScheme StatusLineScheme(const ColourState& state) {
  switch (state.runStatus) {
    case RunStatusSucceeded:
      return ColourScheme::Good;
    case RunStatusFailed:
      return ColourScheme::Bad;
    case RunStatusAborted:
      return ColourScheme::Doubtful;
    default:
      return ColourScheme::FrameworkDefault;
  }
}

ColourScheme IdentityScheme(const ColourState& state) {
  switch (state.identityState) {
    case IdentityState::NotProgrammed:
      return ColourScheme::Doubtful;
    case IdentityState::Present:
      return ColourScheme::IdentityPresent;
    case IdentityState::NotRead:
      break;
  }
  return ColourScheme::FrameworkDefault;
}

}  // namespace

ColourScheme ControlColourScheme(int controlId, const ColourState& state) {
  switch (controlId) {
    case kIdDeviceCount:
      return DeviceCountScheme(state);
    case kIdFirmwareKind:
      return FirmwareKindScheme(state);
    case kIdStatusLine:
      return StatusLineScheme(state);
    case kIdSerialNumber:
    case kIdMacA:
    case kIdMacB:
    case kIdAssignmentDate:
      return IdentityScheme(state);
    default:
      return ColourScheme::FrameworkDefault;
  }
}

}  // namespace kestrune
