#pragma once
// The colour rule of the main window: which scheme a control is painted in, decided from the
// dialog's state whenever the control paints. A pure function, so the adapters only paint it.

#include <cstdint>

#include "device/device_identity.h"
#include "firmware/firmware_state.h"

namespace kestrune {

enum class ColourScheme { FrameworkDefault, Bad, Good, Doubtful, IdentityPresent };

struct Rgb {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  bool operator==(const Rgb&) const = default;
};

// Text colour, and the background that is both the text background and the brush.
struct SchemeColours {
  Rgb text;
  Rgb background;
};

// The colours of a scheme other than FrameworkDefault (which the adapter paints its own way).
SchemeColours ColoursOf(ColourScheme scheme);

// The dialog state the rule looks at.
struct ColourState {
  int deviceCount = 0;
  bool deviceError = false;
  FirmwareState firmwareState = FirmwareState::NoFile;
  int runStatus = 0;  // RunStatus
  IdentityState identityState = IdentityState::NotRead;
};

ColourScheme ControlColourScheme(int controlId, const ColourState& state);

}  // namespace kestrune
