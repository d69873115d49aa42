#include "win32/about_dialog.h"

namespace kestrune::win32 {

std::optional<INT_PTR> AboutDialog::OnMessage(UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(Handle(), LOWORD(wParam));
    return TRUE;
  }
  return std::nullopt;
}

}  // namespace kestrune::win32
