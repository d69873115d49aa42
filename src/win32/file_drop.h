#pragma once
// Files dropped from the shell onto a drop-down combo box: the first file's full path becomes the
// box's text and the box's parent hears CBN_EDITCHANGE, as if the path had been typed. The box
// and its edit field are subclassed; each keeps its former window procedure in GWLP_USERDATA.

#include <windows.h>

namespace kestrune::win32 {

// False when the box has no edit field; attaching twice keeps the first saved procedures.
bool AttachFileDrop(HWND combo);

LRESULT CALLBACK FileDropComboProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK FileDropEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace kestrune::win32
