#pragma once
// A small base of modal dialogs: the C++ object is bound to its window in WM_INITDIALOG through
// the creation parameter, and every message becomes a call of OnMessage. No C++ exception leaves
// the dialog procedure: a handler that throws ends the dialog with IDABORT.

#include <windows.h>

#include <optional>

namespace kestrune::win32 {

class DialogBase {
 public:
  virtual ~DialogBase() = default;
  // Runs the dialog of template `templateId` modally, owned by `owner`; its result, or -1 when
  // the template could not be made into a window.
  INT_PTR RunModal(int templateId, HWND owner);
  HWND Handle() const { return m_hwnd; }

 protected:
  // The answer of a handled message (as a dialog procedure gives it), nothing for the default
  // handling. WM_INITDIALOG arrives after Handle() was set.
  virtual std::optional<INT_PTR> OnMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
  // An answer for messages whose result goes through DWLP_MSGRESULT (WM_DEVICECHANGE).
  INT_PTR Answer(LRESULT result);

 private:
  static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  HWND m_hwnd = nullptr;
};

}  // namespace kestrune::win32
