#include "app/operator_box.h"

namespace kestrune {

MessageIcon IconOf(OperatorIcon icon) {
  switch (icon) {
    case OperatorIcon::Stop:
      return MessageIcon::Stop;
    case OperatorIcon::Information:
      return MessageIcon::Information;
    case OperatorIcon::Warning:
      break;
  }
  return MessageIcon::Warning;
}

void ShowOperatorMessage(Window& window, const OperatorMessage& message) {
  window.ShowMessageBox(message.caption, message.text, MessageButtons::Ok, IconOf(message.icon));
}

}  // namespace kestrune
