// A simulated device is one process's at a time, as a USB device is: while this test process
// holds it, the built program, started as a process of its own, finds it in use.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "cli/cli.h"
#include "platform/clock.h"
#include "sim/sim_file.h"
#include "testkit/cli_outcome.h"
#include "testkit/firmware_image_builder.h"
#include "testkit/temp_folder.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace kestrune::cli {
namespace {

using testkit::CliOutcome;

class DeviceInUseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testkit::WriteFileText(m_folder.File("bench.json"),
                           R"({"devices": [{"instance": "held", "folder": "held"}]})");
    testkit::WriteFileBytes(m_folder.File("firmware.bin"), testkit::BuildFirmwareImage());
  }

  // The built program with `arguments` on the bench file, as its own process.
  CliOutcome Kestrune(const std::string& arguments) {
    const std::string simulate = " --simulate=" + Quoted(m_folder.File("bench.json"));
    const std::string infos = " --infos " + Quoted(m_folder.File("Infos"));
    const std::string command = Quoted(Native(KESTRUNE_PROGRAM)) + simulate + infos + " " +
                                arguments + " >" + Quoted(m_folder.File("out")) + " 2>" +
                                Quoted(m_folder.File("err"));
#ifdef _WIN32
    // cmd /c drops the outer quotes of a line that starts with one.
    const int status = std::system(("\"" + command + "\"").c_str());
    CliOutcome run{status, {}, {}};
#else
    const int status = std::system(command.c_str());
    CliOutcome run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, {}, {}};
#endif
    const auto err = testkit::ReadFileBytes(m_folder.File("err"));
    run.err.assign(err.begin(), err.end());
    return run;
  }

  static std::string Quoted(const std::string& path) {
#ifdef _WIN32
    return "\"" + path + "\"";
#else
    return "'" + path + "'";
#endif
  }
  // The build's own path in the system's form (Wine maps / to Z:).
  static std::string Native(std::string path) {
#ifdef _WIN32
    for (char& c : path) c = c == '/' ? '\\' : c;
    if (path.rfind('\\', 0) == 0) path = "Z:" + path;
#endif
    return path;
  }

  testkit::TempFolder m_folder;
};

TEST_F(DeviceInUseTest, AnotherProcessFindsTheHeldDeviceInUseUntilItIsLetGo) {
  SimBenchResult made = MakeSimBench(SystemClock(), m_folder.File("bench.json"), "");
  ASSERT_TRUE(made.bench) << made.error;
  made.bench->HoldDevicesAgainstOtherProcesses({});
  const std::string path = made.bench->PathOf(0);
  auto held = made.bench->Open(path);
  ASSERT_TRUE(held);
  // A second handle of the holder's own process shares the hold.
  EXPECT_TRUE(made.bench->Open(path));

  // An Infos folder of its own making would be said first.
  std::filesystem::create_directories(m_folder.File("Infos"));
  // Without its line end: the Windows console writes "\r\n".
  const std::string inUse = "kestrune: the USB device " + path + " is in use by another program";
  for (const char* command : {"info", "program firmware.bin"}) {
    SCOPED_TRACE(command);
    const std::string arguments = std::string(command) == "info"
                                      ? "info"
                                      : "program " + Quoted(m_folder.File("firmware.bin"));
    const CliOutcome run = Kestrune(arguments);
    EXPECT_EQ(run.status, kExitFailed);
    EXPECT_EQ(run.err.find(inUse), 0u) << run.err;
    EXPECT_EQ(run.err.find(inUse, 1), std::string::npos) << "told once: " << run.err;
  }

  held.reset();
  const CliOutcome free = Kestrune("program " + Quoted(m_folder.File("firmware.bin")));
  EXPECT_EQ(free.status, kExitOk) << free.err;
}

}  // namespace
}  // namespace kestrune::cli
