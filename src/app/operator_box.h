#pragma once
// A message the core handed back (serials/operator_message.h), shown as a box with an OK button.

#include "app/window.h"
#include "serials/operator_message.h"

namespace kestrune {

MessageIcon IconOf(OperatorIcon icon);

void ShowOperatorMessage(Window& window, const OperatorMessage& message);

}  // namespace kestrune
