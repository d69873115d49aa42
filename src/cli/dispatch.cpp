#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "cli/cli.h"
#include "cli/command_line.h"
#include "support/cp1252.h"

#ifndef KESTRUNE_VERSION
#error "KESTRUNE_VERSION comes from the project version in CMakeLists.txt"
#endif

namespace kestrune::cli {
namespace {

// Options every command takes, then the ones only some commands take.
const OptionSpec kOptions[] = {
    {"--help", "-h", nullptr, false, "show this help and exit"},
    {"--version", "-V", nullptr, false, "show the version and exit"},
    {"--simulate", nullptr, "FILE", true,
     "work on the simulated bench: its default device, or the devices described in FILE"},
    {"--infos", nullptr, "DIR", false,
     "folder of MacList.cfg, NextSerial.cfg and DownloadList.csv"},
    {"--device", nullptr, "PATH|SERIAL", false,
     "the device to work on, by its path or USB serial number (see list)"},
    {"--json", nullptr, nullptr, false, "print the result as JSON on stdout"},
    {"--all", nullptr, nullptr, false, "program every attached device at once"},
    {"--unprotect", nullptr, nullptr, false,
     "remove the read protection of a device that refuses every read: this erases the whole "
     "chip"},
    {"--leave", nullptr, nullptr, false,
     "after a verified run, start the new firmware (the device leaves its boot loader)"},
    {"--skip-unchanged", nullptr, nullptr, false,
     "read each sector first: one that already holds the image is neither erased nor written, "
     "a blank one is written without an erase"},
    {"--dry-run", nullptr, nullptr, false,
     "show what the run would do to the option bytes and to each sector, and the bytes to "
     "write, and change nothing on the device"},
    {"--serial", nullptr, "N", false,
     "serial number 0 .. 16777215 (default: the one in NextSerial.cfg)"},
    {"--yes", nullptr, nullptr, false,
     "confirm the assignment, and replace an identity the device holds, without asking"},
    {"--outside-ranges", nullptr, nullptr, false,
     "allow a serial number outside every range of MacList.cfg (its MAC addresses continue the "
     "first range's); without it, --yes refuses such a number"},
    {"--ledger", nullptr, "WHERE", false,
     "the identity ledger of a line of stations: a file or a postgresql:// URI (default: "
     "KESTRUNE_LEDGER, then Infos/Ledger.cfg)"},
    {"--find", nullptr, "KEY", false, "ledger: the device with this unique ID, serial or MAC"},
    {"--check", nullptr, "FILE", true,
     "ledger: how much of each range of FILE (default: MacList.cfg) is used, failed, reserved "
     "but never confirmed, and free"},
};
constexpr std::size_t kOptionsOfEveryCommand = 4;

struct Command {
  const char* name;
  const char* argument;  // the one plain argument ("FILE"), or null
  const char* summary;
  std::vector<std::string_view> options;  // beyond the ones every command takes
  int (*run)(const Invocation&);
};

const Command kCommands[] = {
    {"describe", "FILE", "show the \"Firmware-Infos\" of a firmware file", {"--json"}, RunDescribe},
    {"info",
     nullptr,
     "show the attached device as \"Geräte-Infos\" does",
     {"--device", "--json"},
     RunInfo},
    {"list",
     nullptr,
     "list every attached DFU device: path, USB serial number, flash, identity",
     {"--json"},
     RunList},
    {"program",
     "FILE",
     "program FILE into the device, read it back, and log the verified run",
     {"--device", "--all", "--unprotect", "--leave", "--skip-unchanged", "--dry-run", "--ledger",
      "--json"},
     RunProgram},
    {"set-identity",
     nullptr,
     "give the device a serial number and MAC addresses (\"MAC setzen\")",
     {"--device", "--serial", "--yes", "--outside-ranges", "--ledger", "--json"},
     RunSetIdentity},
    {"ledger",
     nullptr,
     "show the identity ledger of a line of stations (docs/ledger.md)",
     {"--ledger", "--find", "--check", "--json"},
     RunLedger},
};

const char kExitStatuses[] =
    "exit status:\n"
    "  0  success\n"
    "  1  the run failed, a device could not be opened, or the output could not be\n"
    "     written (describe: the file is not valid firmware)\n"
    "  2  the command line is wrong\n"
    "  3  stopped by Ctrl-C\n"
    "  4  program: programmed and verified, but its line in DownloadList.csv is missing\n"
    "     or lacks the device's unique ID (the device did not give it)\n"
    "  5  refused before the device was touched: a file or the Infos folder unusable,\n"
    "     a check or a question refused\n"
    "  6  no device attached, several attached without --device (program: or --all),\n"
    "     or --device names none or several\n";

const char kEnvironment[] =
    "environment:\n"
    "  KESTRUNE_SIMULATE      without --simulate: 1 the default simulated device, a file name\n"
    "                         a simulator file; unset, empty or 0 the machine's USB\n"
    "  KESTRUNE_SIM_REQUESTS  a file where the simulated devices count their requests at the end\n"
    "  XDG_DATA_HOME          (Linux) holds kestrune/Infos unless --infos or a portable install\n"
    "  XDG_STATE_HOME         (Linux) holds kestrune/simulator, the simulated devices' memory\n";

void Print(std::FILE* stream, const std::string& text) {
  std::fputs(Cp1252ToUtf8(text).c_str(), stream);
}

const OptionSpec& Option(std::string_view name) {
  return *std::find_if(std::begin(kOptions), std::end(kOptions),
                       [name](const OptionSpec& option) { return name == option.name; });
}

std::string OptionUsage(const OptionSpec& option) {
  std::string text = option.shortName ? std::string(option.shortName) + ", " : std::string();
  text += option.name;
  if (option.value != nullptr) {
    text += option.valueOptional ? "[=" + std::string(option.value) + "]"
                                 : " " + std::string(option.value);
  }
  return text;
}

constexpr std::size_t kHelpColumn = 26;
constexpr std::size_t kLineWidth = 79;

// `words` filled into lines that end before kLineWidth, the later ones indented to kHelpColumn.
std::string Wrapped(std::string line, std::string_view words) {
  std::size_t lineStart = 0;
  while (!words.empty()) {
    const std::size_t blank = words.find(' ');
    const std::string_view word = words.substr(0, blank);
    if (line.size() - lineStart + word.size() + 1 > kLineWidth && line.size() > kHelpColumn) {
      line += "\n";
      lineStart = line.size();
      line.append(kHelpColumn, ' ');
    } else if (line.back() != ' ') {
      line += ' ';
    }
    line += word;
    words = blank == std::string_view::npos ? std::string_view() : words.substr(blank + 1);
  }
  return line + "\n";
}

std::string OptionLines(const std::vector<const OptionSpec*>& options) {
  std::string text;
  for (const OptionSpec* option : options) {
    std::string usage = "  " + OptionUsage(*option);
    usage.resize(std::max(usage.size() + 2, kHelpColumn), ' ');
    text += Wrapped(usage, option->help);
  }
  return text;
}

std::vector<const OptionSpec*> OptionsOf(const Command* command) {
  std::vector<const OptionSpec*> options;
  for (std::size_t k = 0; k < kOptionsOfEveryCommand; ++k) options.push_back(&kOptions[k]);
  if (command != nullptr) {
    for (std::string_view name : command->options) options.push_back(&Option(name));
  }
  return options;
}

std::string CommandUsage(const Command& command) {
  std::string text = std::string("kestrune [OPTIONS] ") + command.name;
  if (command.argument != nullptr) text += std::string(" ") + command.argument;
  return text;
}

std::string GeneralHelp() {
  std::string text = "usage: kestrune [OPTIONS] COMMAND [ARGS]\n\ncommands:\n";
  for (const Command& command : kCommands) {
    std::string usage = std::string("  ") + command.name;
    if (command.argument != nullptr) usage += std::string(" ") + command.argument;
    usage.resize(std::max<std::size_t>(usage.size() + 2, 22), ' ');
    text += usage + command.summary + "\n";
  }
  text += "\noptions (before or after the command; --name=VALUE or --name VALUE):\n";
  std::vector<const OptionSpec*> all;
  for (const OptionSpec& option : kOptions) all.push_back(&option);
  text += OptionLines(all);
  text += "\n'kestrune COMMAND --help' tells which options a command takes.\n\n";
  return text + kEnvironment + "\n" + kExitStatuses;
}

std::string CommandHelp(const Command& command) {
  return "usage: " + CommandUsage(command) + "\n" + command.summary + "\n\noptions:\n" +
         OptionLines(OptionsOf(&command)) + "\n" + kExitStatuses;
}

// The message may quote the operator's own text, which is printed as it came.
int UsageError(std::FILE* err, const std::string& message) {
  std::fprintf(err, "kestrune: %s\nTry 'kestrune --help'.\n", message.c_str());
  return kExitUsage;
}

const Command* FindCommand(const std::string& name) {
  for (const Command& command : kCommands) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

int RunCommandLine(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err) {
  const ParsedCommandLine parsed = ParseCommandLine(argv, kOptions);
  if (!parsed.error.empty()) return UsageError(err, parsed.error);
  const auto given = [&parsed](std::string_view name) {
    return std::any_of(parsed.options.begin(), parsed.options.end(),
                       [name](const auto& option) { return name == option.first->name; });
  };
  const Command* command = parsed.arguments.empty() ? nullptr : FindCommand(parsed.arguments[0]);
  if (given("--help")) {
    Print(out, command != nullptr ? CommandHelp(*command) : GeneralHelp());
    return kExitOk;
  }
  if (given("--version")) {
    std::fputs("kestrune " KESTRUNE_VERSION "\n", out);
    return kExitOk;
  }
  if (parsed.arguments.empty()) return UsageError(err, "no command given");
  if (command == nullptr) return UsageError(err, "unknown command '" + parsed.arguments[0] + "'");

  Invocation invocation;
  invocation.out = out;
  invocation.err = err;
  const std::vector<const OptionSpec*> allowed = OptionsOf(command);
  for (const auto& [option, value] : parsed.options) {
    if (std::find(allowed.begin(), allowed.end(), option) == allowed.end()) {
      return UsageError(err, std::string("option '") + option->name + "' does not apply to '" +
                                 command->name + "'");
    }
    const std::string_view name = option->name;
    if (name == "--simulate") {
      invocation.options.simulatorFile = value;
    } else if (name == "--infos") {
      invocation.options.infosFolder = value;
    } else if (name == "--device") {
      invocation.options.device = value;
    } else if (name == "--json") {
      invocation.options.json = true;
    } else {
      invocation.commandOptions[option->name] = value;
    }
  }
  invocation.args.assign(parsed.arguments.begin() + 1, parsed.arguments.end());
  const std::size_t wanted = command->argument != nullptr ? 1 : 0;
  if (invocation.args.size() != wanted || (wanted == 1 && invocation.args[0].empty())) {
    const std::string problem = invocation.args.size() > wanted
                                    ? "unexpected argument '" + invocation.args[wanted] + "'"
                                    : std::string("missing ") + command->argument;
    return UsageError(
        err, std::string(command->name) + ": " + problem + "\nusage: " + CommandUsage(*command));
  }
  return command->run(invocation);
}

}  // namespace

int Main(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err) {
  const int status = RunCommandLine(argv, out, err);
  // Output lost on a full disk or a closed pipe is a failure, not a success.
  errno = 0;
  const bool flushed = std::fflush(out) == 0;
  if (flushed && std::ferror(out) == 0) return status;
  const int reason = errno;
  std::fprintf(err, "kestrune: the output could not be written%s%s\n", reason != 0 ? ": " : "",
               reason != 0 ? std::strerror(reason) : "");
  return status == kExitOk ? kExitFailed : status;
}

}  // namespace kestrune::cli
