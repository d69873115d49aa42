#pragma once
// The dialog's side of "MAC setzen": questions and notices as message boxes of the window, the
// record confirmed in the modal serial-number dialog.

#include "app/identity_operator.h"
#include "app/window.h"

namespace kestrune {

class WindowIdentityOperator final : public IdentityOperator {
 public:
  // Without `runDialog` no record is ever confirmed.
  WindowIdentityOperator(Window& window, const SerialNumberDialogRunner& runDialog)
      : m_window(window), m_runDialog(runDialog) {}

  bool ReplaceIdentity() override;
  bool AcceptSerialOutsideRanges() override;
  bool ConfirmRecord(SerialNumberDialog& dialog) override;
  void Tell(IdentityNotice notice) override;
  void Tell(const OperatorMessage& message) override;

 private:
  Window& m_window;
  const SerialNumberDialogRunner& m_runDialog;
};

}  // namespace kestrune
