#pragma once
// What the main window does with a discovery, as plain data: the window applies each effect to
// its control in order. The dialog stores the discovery into its members first (so that repaints
// see the new state), clears m_deviceRemoved, clears m_abortRequested when the OTP read was
// started, then applies the effects.

#include <cstdint>
#include <string>
#include <vector>

#include "device/device_identity.h"
#include "device/enumerate.h"
#include "support/format_time.h"

namespace kestrune {

// What the window shows from the last discovery (m_deviceCount, m_deviceError,
// m_identityState): fields are repainted and emptied where the new values differ.
struct DiscoveryState {
  std::int32_t deviceCount = 0;
  bool deviceError = false;
  IdentityState identityState = IdentityState::NotRead;
};

enum class ControlEffectKind {
  UpdateControls,  // the dialog's data exchange from members to controls
  SetText,         // `control` shows `text`
  Empty,           // `control` shows nothing
  Repaint,         // `control` is invalidated and recoloured on its next paint
  RepaintNow,      // `control` is invalidated, erased and painted at once
  EmptyLogTexts,   // the last device left: the log texts that describe a device are emptied
};

struct ControlEffect {
  ControlEffectKind kind = ControlEffectKind::SetText;
  int control = 0;  // 0 for the effects that name no control
  std::string text;

  bool operator==(const ControlEffect&) const = default;
};

using ControlEffects = std::vector<ControlEffect>;

// The effects of `found` on a window that shows `shown`, in the order they are applied. `local`
// converts the assignment time to local calendar fields (tests pass a fixed zone).
ControlEffects DiscoveryEffects(const Discovery& found, const DiscoveryState& shown,
                                CalendarConversion local = LocalCalendar);

}  // namespace kestrune
