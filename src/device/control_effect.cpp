#include "device/control_effect.h"

namespace kestrune {

void ApplyTextEffects(const ControlEffects& effects, std::map<int, std::string>& texts) {
  for (const ControlEffect& effect : effects) {
    if (effect.kind == ControlEffectKind::SetText) texts[effect.control] = effect.text;
    if (effect.kind == ControlEffectKind::Empty) texts[effect.control].clear();
  }
}

}  // namespace kestrune
