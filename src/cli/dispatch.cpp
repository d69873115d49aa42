#include <cstring>

#include "cli/cli.h"
#include "platform/platform.h"

namespace kestrune::cli {
namespace {

const Command kCommands[] = {
    {"describe", "describe FILE", RunDescribe},
    {"info", "info", RunInfo},
    {"program", "program FILE", RunProgram},
    {"set-identity", "set-identity [--serial N] [--yes]", RunSetIdentity},
};

void PrintUsage(std::FILE* err) {
  std::fputs("usage: kestrune [--simulate[=FILE]] [--infos DIR] COMMAND [ARGS]\ncommands:\n", err);
  for (const Command& command : kCommands) {
    std::fprintf(err, "  kestrune %s\n", command.usage);
  }
}

}  // namespace

std::string GlobalOptions::InfosFolder() const {
  if (infosFolder) {
    return *infosFolder;
  }
  std::string folder;
  GetModuleDirectory(folder);
  return folder + "Infos";
}

int Main(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err) {
  Invocation invocation;
  invocation.out = out;
  invocation.err = err;
  std::size_t i = 0;
  for (; i < argv.size() && argv[i].starts_with("--"); ++i) {
    const std::string& arg = argv[i];
    if (arg == "--simulate") {
      invocation.options.simulatorFile = "";
    } else if (arg.starts_with("--simulate=")) {
      invocation.options.simulatorFile = arg.substr(std::strlen("--simulate="));
    } else if (arg == "--infos" && i + 1 < argv.size()) {
      invocation.options.infosFolder = argv[++i];
    } else {
      PrintUsage(err);
      return kExitUsage;
    }
  }
  if (i == argv.size()) {
    PrintUsage(err);
    return kExitUsage;
  }
  for (const Command& command : kCommands) {
    if (argv[i] == command.name) {
      invocation.args.assign(argv.begin() + static_cast<std::ptrdiff_t>(i) + 1, argv.end());
      return command.run(invocation);
    }
  }
  PrintUsage(err);
  return kExitUsage;
}

}  // namespace kestrune::cli
