#include "cli/interrupt_catcher.h"

#include <atomic>
#include <csignal>

namespace kestrune::cli {

namespace {

std::atomic<bool> g_interrupted{false};

extern "C" void OnInterrupt(int) {
  g_interrupted = true;
}

}  // namespace

InterruptCatcher::InterruptCatcher() {
  m_previous = std::signal(SIGINT, OnInterrupt);
}

InterruptCatcher::~InterruptCatcher() {
  std::signal(SIGINT, m_previous == SIG_ERR ? SIG_DFL : m_previous);
  g_interrupted = false;
}

bool InterruptCatcher::Take() {
  return g_interrupted.exchange(false);
}

void InterruptCatcher::Raise() {
  g_interrupted = true;
}

}  // namespace kestrune::cli
