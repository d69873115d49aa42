#pragma once
// The whole command line run in the test's process: its exit status and what it wrote.

#include <string>
#include <vector>

#include "cli/cli.h"
#include "testkit/captured_stream.h"

namespace kestrune::testkit {

struct CliOutcome {
  int status;
  std::string out;
  std::string err;
};

inline CliOutcome RunKestrune(const std::vector<std::string>& args) {
  CapturedStream out;
  CapturedStream err;
  const int status = cli::Main(args, out.File(), err.File());
  return {status, out.Text(), err.Text()};
}

}  // namespace kestrune::testkit
