// Which devices a front end works with: the simulator the option or the environment chooses, or
// the machine's USB; and each open problem told once.

#include "backend/device_backend.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "testkit/scoped_environment.h"
#include "testkit/temp_folder.h"

namespace kestrune {
namespace {

TEST(DeviceBackendTest, TheOptionWinsOverTheEnvironment) {
  const struct {
    const char* variable;
    std::optional<std::string> option;
    std::optional<std::string> chosen;
  } cases[] = {
      {nullptr, std::nullopt, std::nullopt},
      {"", std::nullopt, std::nullopt},
      {"0", std::nullopt, std::nullopt},
      {"0", "", ""},
      {"1", std::nullopt, ""},
      {"bench.json", std::nullopt, "bench.json"},
      {"bench.json", "", ""},
      {nullptr, "other.json", "other.json"},
  };
  for (const auto& c : cases) {
    const testkit::ScopedEnvironment variable("KESTRUNE_SIMULATE", c.variable);
    EXPECT_EQ(ChosenSimulator(c.option), c.chosen) << (c.variable ? c.variable : "(unset)");
  }
}

std::size_t DevicesOf(DeviceBackend& backend) {
  return backend.Bus()
      .PresentInterfaces(kDfuInterfaceClass)
      .value_or(std::vector<std::string>{})
      .size();
}

TEST(DeviceBackendTest, ABenchFileGivesItsDevicesAndAMissingOneSaysWhy) {
  testkit::TempFolder folder;
  testkit::WriteFileText(
      folder.File("bench.json"),
      R"({ "devices": [ { "persist": false }, { "persist": false, "instance": "b" } ] })");
  BackendChoice made = MakeDeviceBackend(folder.File("bench.json"), {});
  ASSERT_TRUE(made.backend) << made.error;
  EXPECT_EQ(DevicesOf(*made.backend), 2u);

  BackendChoice missing = MakeDeviceBackend(folder.File("none.json"), {});
  EXPECT_FALSE(missing.backend);
  EXPECT_NE(missing.error.find("none.json"), std::string::npos) << missing.error;
}

TEST(DeviceBackendTest, EachProblemIsToldOnce) {
  using Kind = UsbOpenProblem::Kind;
  std::vector<std::string> told;
  UsbOpenProblemSink sink = OnceEach(
      [&told](const UsbOpenProblem& problem) { told.push_back(DescribeProblem(problem)); });
  const UsbOpenProblem problems[] = {
      {Kind::InUse, "a", ""},
      {Kind::InUse, "b", ""},
      {Kind::InUse, "a", ""},
      {Kind::NotWinUsb, "a", ""},
      {Kind::NotWinUsb, "a", "STTub30"},
      {Kind::NotWinUsb, "a", ""},
  };
  for (const UsbOpenProblem& problem : problems) sink(problem);
  ASSERT_EQ(told.size(), 4u);
  EXPECT_EQ(told[0], "the USB device a is in use by another program");
  EXPECT_NE(told[3].find("the USB device a is bound to the driver STTub30, not to WinUSB"),
            std::string::npos)
      << told[3];
}

}  // namespace
}  // namespace kestrune
