#include "cli/command_line.h"

#include <algorithm>
#include <cstring>

namespace kestrune::cli {

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& argv,
                                   std::span<const OptionSpec> known) {
  ParsedCommandLine parsed;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < argv.size(); ++i) {
    const std::string& arg = argv[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      parsed.arguments.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    const std::size_t equals = arg.starts_with("--") ? arg.find('=') : std::string::npos;
    const std::string name = arg.substr(0, equals);
    const auto spec = std::find_if(known.begin(), known.end(), [&name](const OptionSpec& option) {
      return name == option.name || (option.shortName != nullptr && name == option.shortName);
    });
    if (spec == known.end()) {
      parsed.error = "unknown option '" + name + "'";
      return parsed;
    }
    std::string value;
    if (equals != std::string::npos) {
      if (spec->value == nullptr) {
        parsed.error = "option '" + name + "' takes no value";
        return parsed;
      }
      value = arg.substr(equals + 1);
    } else if (spec->value != nullptr && !spec->valueOptional) {
      if (i + 1 == argv.size()) {
        parsed.error = "option '" + name + "' needs a value (" + spec->value + ")";
        return parsed;
      }
      value = argv[++i];
    }
    parsed.options.emplace_back(&*spec, value);
  }
  return parsed;
}

}  // namespace kestrune::cli
