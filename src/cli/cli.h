#pragma once
// The `kestrune` command line: global options, then one command with its own arguments.

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace kestrune::cli {

// Exit statuses shared by all commands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitAborted = 3;
// `program`: the device was programmed and verified, but its line in the download log is missing.
inline constexpr int kExitLogLineMissing = 4;

struct GlobalOptions {
  // Set by --simulate[=FILE]: use the simulated device; an empty file means the default device.
  std::optional<std::string> simulatorFile;
  // Set by --infos DIR: the folder of the range files and the download log.
  std::optional<std::string> infosFolder;

  // The chosen Infos folder, or the one beside the executable.
  std::string InfosFolder() const;
};

struct Invocation {
  GlobalOptions options;
  std::vector<std::string> args;  // the command's own arguments
  std::FILE* out = stdout;
  std::FILE* err = stderr;
};

using CommandFunction = int (*)(const Invocation&);

struct Command {
  const char* name;
  const char* usage;  // one line: the command and its arguments
  CommandFunction run;
};

int RunDescribe(const Invocation& invocation);
int RunInfo(const Invocation& invocation);
int RunProgram(const Invocation& invocation);
int RunSetIdentity(const Invocation& invocation);

// Parses the whole command line and runs the command; returns the exit status.
int Main(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err);

}  // namespace kestrune::cli
