// Kestrune.exe: the dialog program.

#include <windows.h>

#include "win32/programmer_app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  kestrune::win32::ProgrammerApp().InitInstance();
  return 0;
}
