#pragma once
// Ctrl-C on the console: taken as the operator's stop request instead of ending the process.

namespace kestrune::cli {

// While it lives, Ctrl-C (SIGINT) does not end the process but waits to be taken as the stop
// request of a run.
class InterruptCatcher {
 public:
  InterruptCatcher();
  ~InterruptCatcher();
  InterruptCatcher(const InterruptCatcher&) = delete;
  InterruptCatcher& operator=(const InterruptCatcher&) = delete;

  // Takes a pending Ctrl-C. Raise() makes one pending, as the key would (tests).
  static bool Take();
  static void Raise();

 private:
  void (*m_previous)(int) = nullptr;
};

}  // namespace kestrune::cli
