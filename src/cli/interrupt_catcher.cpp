#include "cli/interrupt_catcher.h"

#include <atomic>
#include <thread>

namespace kestrune::cli {

namespace {

std::atomic<bool> g_interrupted{false};

extern "C" void OnInterrupt(int) {
  g_interrupted = true;
}

}  // namespace

InterruptCatcher::InterruptCatcher() {
  m_previous = SetInterruptHandler(OnInterrupt);
}

InterruptCatcher::~InterruptCatcher() {
  SetInterruptHandler(m_previous);
  g_interrupted = false;
}

bool InterruptCatcher::Take() {
  return g_interrupted.exchange(false);
}

void InterruptCatcher::Raise() {
  g_interrupted = true;
}

bool InterruptCatcher::TakeWithin(std::chrono::milliseconds grace) {
  const auto end = std::chrono::steady_clock::now() + grace;
  while (!Take()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace kestrune::cli
