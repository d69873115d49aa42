#include "cli/cli.h"

namespace kestrune::cli {

int RunDescribe(const Invocation& invocation) {
  std::fputs("usage: kestrune describe FILE\n", invocation.err);
  return kExitUsage;
}

}  // namespace kestrune::cli
