#pragma once
// Processes that a test starts, waits for or kills at random moments: stations working on one
// ledger at once. Posix only; the Windows build runs no such tests.

#ifndef _WIN32
#include <sys/types.h>

#include <random>
#include <string>
#include <vector>

namespace kestrune::testkit {

// Each process runs in a process group of its own, so that a kill takes along what it started
// (a shell's command). Those still running when the object goes are killed and reaped: a test
// that stops early leaves nothing working on its files.
class ChildProcesses {
 public:
  ChildProcesses() = default;
  ~ChildProcesses();
  ChildProcesses(const ChildProcesses&) = delete;
  ChildProcesses& operator=(const ChildProcesses&) = delete;

  // Starts the program `args[0]` (a path) with `args`. The "NAME=value" entries of `environment`
  // come before the inherited ones, so that they win; standard output goes to the file `output`
  // where one is given. Fails the test and returns -1 when the process cannot start.
  pid_t Start(const std::vector<std::string>& args,
              const std::vector<std::string>& environment = {}, const std::string& output = {});

  // The wait status of a process this object started.
  int Wait(pid_t pid);
  // The wait statuses of every process not waited for yet, in the order they were started.
  std::vector<int> WaitAll();
  // Kills each running process at its own moment, drawn from 0 .. `maxDelayMs` ms from now, and
  // reaps them all.
  void KillAtRandomMoments(int maxDelayMs, std::mt19937& random);

 private:
  std::vector<pid_t> m_running;
};

}  // namespace kestrune::testkit
#endif
