// The conventions of the command line, as a table of command lines with what they must give.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli.h"
#include "testkit/captured_stream.h"

namespace kestrune::cli {
namespace {

using testing::HasSubstr;
using testing::StartsWith;

struct Case {
  std::vector<std::string> argv;
  int status;
  std::string out;  // what stdout starts with ("" : nothing at all)
  std::string err;  // a part of stderr ("" : nothing at all)
};

TEST(Dispatch, ArgumentCases) {
  const std::string version = "kestrune " KESTRUNE_VERSION "\n";
  const Case cases[] = {
      {{"--help"}, kExitOk, "usage: kestrune [OPTIONS] COMMAND [ARGS]\n", ""},
      {{"-h"}, kExitOk, "usage: kestrune [OPTIONS] COMMAND [ARGS]\n", ""},
      {{"program", "--help"}, kExitOk, "usage: kestrune [OPTIONS] program FILE\n", ""},
      {{"-h", "set-identity"}, kExitOk, "usage: kestrune [OPTIONS] set-identity\n", ""},
      // Help wins over whatever else is wrong on the line.
      {{"describe", "a", "b", "--help"}, kExitOk, "usage: kestrune [OPTIONS] describe FILE\n", ""},
      {{"--version"}, kExitOk, version, ""},
      {{"info", "-V"}, kExitOk, version, ""},
      {{}, kExitUsage, "", "kestrune: no command given\nTry 'kestrune --help'.\n"},
      {{"frobnicate"}, kExitUsage, "", "kestrune: unknown command 'frobnicate'\n"},
      {{"--bogus", "describe", "x"}, kExitUsage, "", "kestrune: unknown option '--bogus'\n"},
      {{"info", "-x"}, kExitUsage, "", "kestrune: unknown option '-x'\n"},
      {{"info", "--infos"}, kExitUsage, "", "option '--infos' needs a value (DIR)\n"},
      {{"--json=yes", "list"}, kExitUsage, "", "option '--json' takes no value\n"},
      {{"describe", "--all", "x"}, kExitUsage, "", "option '--all' does not apply to 'describe'\n"},
      {{"list", "--device", "x"}, kExitUsage, "", "option '--device' does not apply to 'list'\n"},
      {{"describe"}, kExitUsage, "", "describe: missing FILE\nusage: kestrune [OPTIONS] describe"},
      {{"describe", "a", "b"}, kExitUsage, "", "describe: unexpected argument 'b'\n"},
      {{"info", "extra"}, kExitUsage, "", "info: unexpected argument 'extra'\n"},
      {{"--simulate", "program"}, kExitUsage, "", "program: missing FILE\n"},
      {{"set-identity", "--serial", "12x"}, kExitUsage, "", "--serial '12x' is not a serial"},
      {{"--simulate", "program", "--all", "--device", "x", "f.bin"},
       kExitUsage,
       "",
       "--all and --device exclude each other\n"},
      // Options before or after the command, --name=value and --name value alike; after "--"
      // a name that begins with "-" is a file.
      {{"describe", "--infos=/nowhere", "/missing.bin"},
       kExitRefused,
       "",
       "cannot read firmware file '/missing.bin': No such file or directory\n"},
      {{"--infos", "/nowhere", "describe", "--", "-h"},
       kExitRefused,
       "",
       "cannot read firmware file '-h'"},
      {{"program", "/missing.bin", "--simulate"},
       kExitRefused,
       "",
       "cannot read firmware file '/missing.bin'"},
      {{"info", "--simulate=/nonexistent/bench.json"}, kExitRefused, "", "/nonexistent/bench.json"},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& arg : c.argv) line += arg + " ";
    SCOPED_TRACE(line);
    testkit::CapturedStream out;
    testkit::CapturedStream err;
    EXPECT_EQ(Main(c.argv, out.File(), err.File()), c.status);
    if (c.out.empty()) {
      EXPECT_EQ(out.Text(), "");
    } else {
      EXPECT_THAT(out.Text(), StartsWith(c.out));
    }
    if (c.err.empty()) {
      EXPECT_EQ(err.Text(), "");
    } else {
      EXPECT_THAT(err.Text(), HasSubstr(c.err));
    }
  }
}

TEST(Dispatch, HelpListsEveryCommandAndTheExitStatuses) {
  testkit::CapturedStream out;
  testkit::CapturedStream err;
  ASSERT_EQ(Main({"--help"}, out.File(), err.File()), kExitOk);
  for (const char* part :
       {"  describe FILE", "  info ", "  list ", "  program FILE", "  set-identity ",
        "--simulate[=FILE]", "-V, --version", "exit status:\n  0  success\n  1  ", "  6  no device",
        "environment:\n  KESTRUNE_SIMULATE ", "  XDG_DATA_HOME "}) {
    EXPECT_THAT(out.Text(), HasSubstr(part));
  }
  // A command's help names only the options it takes.
  testkit::CapturedStream program;
  ASSERT_EQ(Main({"program", "-h"}, program.File(), err.File()), kExitOk);
  EXPECT_THAT(program.Text(), HasSubstr("--all"));
  EXPECT_THAT(program.Text(), testing::Not(HasSubstr("--serial")));
}

#ifndef _WIN32
// Output lost on a full disk is a failure, whatever the command made of it.
TEST(Dispatch, AnOutputThatCannotBeWrittenEndsWithStatusOne) {
  std::FILE* full = std::fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  testkit::CapturedStream err;
  EXPECT_EQ(Main({"--help"}, full, err.File()), kExitFailed);
  std::fclose(full);
  EXPECT_THAT(err.Text(), HasSubstr("kestrune: the output could not be written: "));
}
#endif

}  // namespace
}  // namespace kestrune::cli
