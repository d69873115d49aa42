#pragma once
// Splits a command line into options and plain arguments. Options may stand anywhere, as
// `--name value`, `--name=value` or a short `-h`; `--` ends the options.

#include <span>
#include <string>
#include <utility>
#include <vector>

namespace kestrune::cli {

struct OptionSpec {
  const char* name;       // with the leading "--"
  const char* shortName;  // "-h", or null
  const char* value;      // what the value stands for ("DIR"), or null for a flag
  bool valueOptional;     // the value may be left out; it is then only given as --name=value
  const char* help;
};

struct ParsedCommandLine {
  std::vector<std::pair<const OptionSpec*, std::string>> options;  // in the order given
  std::vector<std::string> arguments;
  std::string error;  // names what was wrong; empty when the line parsed
};

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& argv,
                                   std::span<const OptionSpec> known);

}  // namespace kestrune::cli
