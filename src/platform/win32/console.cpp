#include "platform/console.h"

#include <io.h>
#include <windows.h>

namespace kestrune {

bool IsTerminal(std::FILE* stream) {
  return _isatty(_fileno(stream)) != 0;
}

void UseUtf8Console() {
  SetConsoleOutputCP(CP_UTF8);
}

}  // namespace kestrune
