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
  const NoticeText said = TextOf(notice);
  const MessageIcon icon = said.kind == NoticeKind::Error     ? MessageIcon::Stop
                           : said.kind == NoticeKind::Warning ? MessageIcon::Warning
                                                              : MessageIcon::Information;
  m_window.ShowMessageBox(said.caption, said.text, MessageButtons::Ok, icon);
}

void WindowIdentityOperator::Tell(const OperatorMessage& message) {
  ShowOperatorMessage(m_window, message);
}

}  // namespace kestrune
