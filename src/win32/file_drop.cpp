#include "win32/file_drop.h"

#include <shellapi.h>

namespace kestrune::win32 {
namespace {

WNDPROC SavedProcedure(HWND window) {
  return reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

void Subclass(HWND window, WNDPROC procedure) {
  const auto current = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC));
  if (current != procedure) {
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(current));
  }
  SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure));
}

// The first dropped file becomes the text of `target`; the combo box `combo` tells its parent.
LRESULT TakeDrop(HWND target, HWND combo, HDROP drop) {
  if (DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0) >= 1) {
    const WORD id = LOWORD(GetWindowLongPtrA(combo, GWLP_ID));
    char path[MAX_PATH] = {};
    DragQueryFileA(drop, 0, path, MAX_PATH);
    CallWindowProcA(SavedProcedure(target), target, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path));
    PostMessageA(GetParent(combo), WM_COMMAND, MAKEWPARAM(id, CBN_EDITCHANGE),
                 reinterpret_cast<LPARAM>(target));
  }
  DragFinish(drop);
  return 0;
}

}  // namespace

bool AttachFileDrop(HWND combo) {
  HWND edit = GetWindow(combo, GW_CHILD);
  if (!IsWindow(edit)) return false;
  Subclass(combo, FileDropComboProc);
  Subclass(edit, FileDropEditProc);
  return true;
}

LRESULT CALLBACK FileDropComboProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DROPFILES) return TakeDrop(window, window, reinterpret_cast<HDROP>(wParam));
  return CallWindowProcA(SavedProcedure(window), window, message, wParam, lParam);
}

LRESULT CALLBACK FileDropEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DROPFILES) {
    return TakeDrop(window, GetParent(window), reinterpret_cast<HDROP>(wParam));
  }
  return CallWindowProcA(SavedProcedure(window), window, message, wParam, lParam);
}

}  // namespace kestrune::win32
