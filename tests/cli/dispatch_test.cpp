#include <gtest/gtest.h>

#include <cstdio>

#include "cli/cli.h"
#include "testkit/captured_stream.h"

namespace kestrune::cli {
namespace {

TEST(Dispatch, UnknownCommandsAndOptionsAreUsageErrors) {
  testkit::CapturedStream sink;
  for (const auto& argv : std::vector<std::vector<std::string>>{
           {}, {"frobnicate"}, {"--bogus", "describe"}, {"--infos"}, {"--simulate"}}) {
    EXPECT_EQ(Main(argv, sink.File(), sink.File()), kExitUsage) << (argv.empty() ? "" : argv[0]);
  }
}

}  // namespace
}  // namespace kestrune::cli
