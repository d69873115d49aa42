#pragma once
// The `kestrune` command line: one command with its arguments, and options that may stand before
// or after it.

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kestrune::cli {

// Exit statuses, one meaning each, so that a script can tell what went wrong.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;   // the run (or the described file) failed
inline constexpr int kExitUsage = 2;    // the command line is wrong
inline constexpr int kExitAborted = 3;  // stopped by Ctrl-C
// `program`: the device was programmed and verified, but its line in the download log is missing.
inline constexpr int kExitLogLineMissing = 4;
inline constexpr int kExitRefused = 5;   // refused before the run: a file, a check, an answer
inline constexpr int kExitNoDevice = 6;  // no device attached, or --device names none or several

struct GlobalOptions {
  // Set by --simulate[=FILE]: use the simulated device; an empty file means the default device.
  std::optional<std::string> simulatorFile;
  // Set by --infos DIR: the folder of the range files and the download log.
  std::optional<std::string> infosFolder;
  // Set by --device PATH|SERIAL: the one device to work on when several are attached.
  std::optional<std::string> device;
  // Set by --json: the result as one JSON object (or array) on stdout.
  bool json = false;

  // The chosen Infos folder, or the one found for an installed or portable program.
  std::string InfosFolder() const;
};

struct Invocation {
  GlobalOptions options;
  std::vector<std::string> args;  // the command's arguments, without options
  // The command's own options as given: name (with "--") to value ("" for a flag).
  std::map<std::string, std::string> commandOptions;
  std::FILE* out = stdout;
  std::FILE* err = stderr;

  bool Has(const std::string& option) const { return commandOptions.contains(option); }
  std::optional<std::string> Value(const std::string& option) const {
    const auto given = commandOptions.find(option);
    if (given == commandOptions.end()) return std::nullopt;
    return given->second;
  }
};

int RunDescribe(const Invocation& invocation);
int RunInfo(const Invocation& invocation);
int RunList(const Invocation& invocation);
int RunProgram(const Invocation& invocation);
int RunSetIdentity(const Invocation& invocation);
int RunLedger(const Invocation& invocation);

// Parses the whole command line and runs the command; returns the exit status.
int Main(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err);

}  // namespace kestrune::cli
