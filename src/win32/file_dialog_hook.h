#pragma once
// Every file dialog the program opens through GetOpenFileNameA or GetSaveFileNameA passes through
// a replacement of its own: the import slots of comdlg32 in the program's image point to it. The
// replacement makes the Explorer-style dialog resizable, gives the first file dialog of the
// process 600 x 450 pixels, keeps the caller's own hook working and hands the caller's flags back
// unchanged except for the read-only result. The state is process-wide; GUI thread only.

#include <windows.h>

#include <commdlg.h>

namespace kestrune::win32 {

// Patches the import table of `module` (null: the program's own image). Always 1, also when
// there was nothing to patch.
int InstallFileDialogHook(HMODULE module);

BOOL WINAPI HookedGetOpenFileName(OPENFILENAMEA* request);
BOOL WINAPI HookedGetSaveFileName(OPENFILENAMEA* request);
UINT_PTR CALLBACK FileDialogHookProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK FileDialogFrameProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace kestrune::win32
