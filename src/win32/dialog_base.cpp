#include "win32/dialog_base.h"

namespace kestrune::win32 {

INT_PTR DialogBase::RunModal(int templateId, HWND owner) {
  return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId), owner, Procedure,
                         reinterpret_cast<LPARAM>(this));
}

INT_PTR DialogBase::Answer(LRESULT result) {
  SetWindowLongPtrA(m_hwnd, DWLP_MSGRESULT, result);
  return TRUE;
}

INT_PTR CALLBACK DialogBase::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DialogBase* self = nullptr;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<DialogBase*>(lParam);
    SetWindowLongPtrA(window, DWLP_USER, lParam);
    self->m_hwnd = window;
  } else {
    self = reinterpret_cast<DialogBase*>(GetWindowLongPtrA(window, DWLP_USER));
  }
  // Messages before WM_INITDIALOG (WM_SETFONT) have no object yet.
  if (self == nullptr) return FALSE;
  try {
    const std::optional<INT_PTR> answer = self->OnMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
      SetWindowLongPtrA(window, DWLP_USER, 0);
      self->m_hwnd = nullptr;
    }
    return answer.value_or(FALSE);
  } catch (...) {
    EndDialog(window, IDABORT);
    return FALSE;
  }
}

}  // namespace kestrune::win32
