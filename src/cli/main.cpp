#include <string>
#include <vector>

#include "cli/cli.h"
#include "platform/console.h"

int main(int argc, char** argv) {
  kestrune::UseUtf8Console();
  kestrune::KeepRunningOnClosedPipe();
  std::vector<std::string> args(argv + 1, argv + argc);
  return kestrune::cli::Main(args, stdout, stderr);
}
