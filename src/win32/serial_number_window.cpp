#include "win32/serial_number_window.h"

#include "app/control_ids.h"

namespace kestrune::win32 {

std::optional<INT_PTR> SerialNumberWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      m_window.Attach(Handle());
      m_logic.OnInitDialog();
      m_logic.ShowIn(m_window, true, false);
      m_opened = true;
      return TRUE;
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      if (id == kIdSerialNumber && HIWORD(wParam) == EN_CHANGE && m_opened) {
        const bool repaint = m_logic.OnSerialChanged(m_window.ControlText(kIdSerialNumber));
        m_logic.ShowIn(m_window, false, repaint);
        return TRUE;
      }
      if ((id == IDOK || id == IDCANCEL) && HIWORD(wParam) == BN_CLICKED) {
        EndDialog(Handle(), id);
        return TRUE;
      }
      return std::nullopt;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
      const auto colours = m_logic.ControlColours(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)));
      if (!colours) return std::nullopt;
      return m_brushes.Paint(reinterpret_cast<HDC>(wParam), *colours);
    }
    default:
      return std::nullopt;
  }
}

}  // namespace kestrune::win32
