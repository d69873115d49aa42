#include "platform/console.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <csignal>

namespace kestrune {

bool IsTerminal(std::FILE* stream) {
  return isatty(fileno(stream)) != 0;
}

void UseUtf8Console() {}

void KeepRunningOnClosedPipe() {
  std::signal(SIGPIPE, SIG_IGN);
}

int TerminalColumns(std::FILE* stream) {
  winsize size{};
  if (ioctl(fileno(stream), TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

std::FILE* ControllingTerminal() {
  static std::FILE* const terminal = std::fopen("/dev/tty", "w");
  return terminal;
}

InterruptHandler SetInterruptHandler(InterruptHandler handler) {
  struct sigaction wanted {};
  wanted.sa_handler = handler;
  sigemptyset(&wanted.sa_mask);
  wanted.sa_flags = 0;  // no SA_RESTART: a blocked read returns EINTR
  struct sigaction previous {};
  if (sigaction(SIGINT, &wanted, &previous) != 0) return SIG_DFL;
  return previous.sa_handler;
}

}  // namespace kestrune
