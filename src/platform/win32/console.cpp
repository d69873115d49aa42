#include "platform/console.h"

#include <io.h>
#include <windows.h>

#include <csignal>

namespace kestrune {

bool IsTerminal(std::FILE* stream) {
  return _isatty(_fileno(stream)) != 0;
}

void UseUtf8Console() {
  SetConsoleOutputCP(CP_UTF8);
}

// Windows has no SIGPIPE: the write fails by itself.
void KeepRunningOnClosedPipe() {}

int TerminalColumns(std::FILE* stream) {
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (handle == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(handle, &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

std::FILE* ControllingTerminal() {
  static std::FILE* const terminal = std::fopen("CONOUT$", "w");
  return terminal;
}

// A console read that Ctrl-C interrupts ends by itself; the handler runs on a thread of its own.
InterruptHandler SetInterruptHandler(InterruptHandler handler) {
  const InterruptHandler previous = std::signal(SIGINT, handler);
  return previous == SIG_ERR ? SIG_DFL : previous;
}

}  // namespace kestrune
