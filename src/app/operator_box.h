#pragma once
// A message the core handed back, shown as a box with an OK button.

#include "app/window.h"
#include "serials/operator_message.h"

namespace kestrune {

void ShowOperatorMessage(Window& window, const OperatorMessage& message);

}  // namespace kestrune
