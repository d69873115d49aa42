#ifndef _WIN32
#include "testkit/child_processes.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

namespace kestrune::testkit {
namespace {

std::vector<char*> NullTerminated(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

int Reap(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

}  // namespace

ChildProcesses::~ChildProcesses() {
  for (pid_t pid : m_running) {
    kill(-pid, SIGKILL);
    Reap(pid);
  }
}

pid_t ChildProcesses::Start(const std::vector<std::string>& args,
                            const std::vector<std::string>& environment,
                            const std::string& output) {
  std::vector<std::string> arguments = args;
  std::vector<std::string> variables = environment;
  for (char** inherited = environ; *inherited != nullptr; ++inherited) {
    variables.emplace_back(*inherited);
  }
  const std::vector<char*> argv = NullTerminated(arguments);
  const std::vector<char*> envp = NullTerminated(variables);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!output.empty()) {
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
  }
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  pid_t pid = -1;
  const int error = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    ADD_FAILURE() << "cannot start " << args[0] << ": " << std::strerror(error);
    return -1;
  }
  m_running.push_back(pid);
  return pid;
}

int ChildProcesses::Wait(pid_t pid) {
  const auto running = std::find(m_running.begin(), m_running.end(), pid);
  if (running == m_running.end()) {
    ADD_FAILURE() << "process " << pid << " was not started here or was waited for already";
    return -1;
  }
  m_running.erase(running);
  return Reap(pid);
}

std::vector<int> ChildProcesses::WaitAll() {
  std::vector<int> statuses;
  for (pid_t pid : m_running) statuses.push_back(Reap(pid));
  m_running.clear();
  return statuses;
}

void ChildProcesses::KillAtRandomMoments(int maxDelayMs, std::mt19937& random) {
  std::uniform_int_distribution<int> delayMs(0, maxDelayMs);
  std::vector<std::pair<int, pid_t>> moments;
  for (pid_t pid : m_running) moments.emplace_back(delayMs(random), pid);
  std::sort(moments.begin(), moments.end());
  int waited = 0;
  for (const auto& [at, pid] : moments) {
    std::this_thread::sleep_for(std::chrono::milliseconds(at - waited));
    waited = at;
    kill(-pid, SIGKILL);
  }
  WaitAll();
}

}  // namespace kestrune::testkit
#endif
