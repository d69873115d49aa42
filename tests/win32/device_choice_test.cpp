// Which devices the program works with, by KESTRUNE_SIMULATE.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "device/device_bus.h"
#include "testkit/temp_folder.h"
#include "win32/programmer_app.h"

namespace kestrune::win32 {
namespace {

std::size_t DevicesOf(DeviceChoice& choice) {
  return choice.backend->Bus()
      .PresentInterfaces(kDfuInterfaceClass)
      .value_or(std::vector<std::string>{})
      .size();
}

TEST(DeviceChoiceTest, TheMachinesUsbOrABenchThatCannotBeMadeShowNoDevice) {
  const struct {
    std::optional<std::string> simulator;
    const char* message;
  } cases[] = {
      // Wine has no USB device: nothing to tell.
      {std::nullopt, ""},
      {"C:\\no\\such\\bench.json", "Der simulierte Messplatz kann nicht angelegt werden"},
  };
  for (const auto& c : cases) {
    DeviceChoice choice = ChooseDevices(c.simulator, {});
    EXPECT_EQ(choice.message.substr(0, std::strlen(c.message)), c.message);
    EXPECT_EQ(choice.message.empty(), *c.message == '\0') << choice.message;
    EXPECT_EQ(DevicesOf(choice), 0u);
  }
}

TEST(DeviceChoiceTest, ABenchFileGivesItsDevices) {
  testkit::TempFolder folder;
  testkit::WriteFileText(
      folder.File("bench.json"),
      R"({ "devices": [ { "persist": false }, { "persist": false, "instance": "b" } ] })");
  DeviceChoice choice = ChooseDevices(folder.File("bench.json"), {});
  EXPECT_EQ(choice.message, "");
  EXPECT_EQ(DevicesOf(choice), 2u);
}

}  // namespace
}  // namespace kestrune::win32
