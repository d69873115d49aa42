#pragma once
// What discovery does to the main window, as plain data: the window applies each effect to its
// control in order. Keeps discovery free of window code and testable without one.

#include <map>
#include <string>
#include <vector>

namespace kestrune {

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

// Applies the text effects to a table of control texts (a console's view of the window).
void ApplyTextEffects(const ControlEffects& effects, std::map<int, std::string>& texts);

}  // namespace kestrune
