#include <gtest/gtest.h>

#include <cstdio>

#include "cli/cli.h"

namespace kestrune::cli {
namespace {

TEST(Dispatch, UnknownCommandsAndOptionsAreUsageErrors) {
  std::FILE* sink = std::tmpfile();
  ASSERT_NE(sink, nullptr);
  for (const auto& argv : std::vector<std::vector<std::string>>{
           {}, {"frobnicate"}, {"--bogus", "describe"}, {"--infos"}, {"--simulate"}}) {
    EXPECT_EQ(Main(argv, sink, sink), kExitUsage) << (argv.empty() ? "" : argv[0]);
  }
  std::fclose(sink);
}

}  // namespace
}  // namespace kestrune::cli
