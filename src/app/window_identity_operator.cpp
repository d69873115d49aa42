#include "app/window_identity_operator.h"

#include "app/operator_box.h"

namespace kestrune {

bool WindowIdentityOperator::ReplaceIdentity() {
  return m_window.ShowMessageBox(kQuestionCaption, kReplaceIdentityQuestion, MessageButtons::YesNo,
                                 MessageIcon::Warning) == MessageResult::Yes;
}

bool WindowIdentityOperator::AcceptSerialOutsideRanges() {
  return m_window.ShowMessageBox(kQuestionCaption, kOutsideRangesQuestion, MessageButtons::OkCancel,
                                 MessageIcon::Warning) == MessageResult::Ok;
}

bool WindowIdentityOperator::ConfirmRecord(SerialNumberDialog& dialog) {
  return m_runDialog && m_runDialog(dialog) && dialog.m_recordFilled;
}

void WindowIdentityOperator::Tell(IdentityNotice notice) {
  ShowOperatorMessage(m_window, TextOf(notice));
}

void WindowIdentityOperator::Tell(const OperatorMessage& message) {
  ShowOperatorMessage(m_window, message);
}

}  // namespace kestrune
