#pragma once
// Ctrl-C on the console: taken as the operator's stop request instead of ending the process.

#include <chrono>

#include "platform/console.h"

namespace kestrune::cli {

// While it lives, Ctrl-C (SIGINT) does not end the process but waits to be taken as the stop
// request of a run or the answer to a question.
class InterruptCatcher {
 public:
  InterruptCatcher();
  ~InterruptCatcher();
  InterruptCatcher(const InterruptCatcher&) = delete;
  InterruptCatcher& operator=(const InterruptCatcher&) = delete;

  // Takes a pending Ctrl-C. Raise() makes one pending, as the key would (tests).
  static bool Take();
  static void Raise();
  // Takes a Ctrl-C that is pending or arrives within `grace`: where the key ends a read from the
  // terminal, its handler may run a moment after the read returned (on a thread of its own).
  static bool TakeWithin(std::chrono::milliseconds grace);

 private:
  InterruptHandler m_previous = nullptr;
};

}  // namespace kestrune::cli
