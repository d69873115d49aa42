#include "platform/console.h"

#include <unistd.h>

namespace kestrune {

bool IsTerminal(std::FILE* stream) {
  return isatty(fileno(stream)) != 0;
}

void UseUtf8Console() {}

}  // namespace kestrune
