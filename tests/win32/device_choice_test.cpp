// Which devices the program works with, by KESTRUNE_SIMULATE.

#include <windows.h>

#include <gtest/gtest.h>

#include "device/device_bus.h"
#include "platform/clock.h"
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

TEST(DeviceChoiceTest, WithoutASimulatedBenchThereIsOneMessageAndNoDevice) {
  const struct {
    std::optional<std::string> simulator;
    const char* message;
  } cases[] = {
      {std::nullopt, "Der Zugriff auf USB-Geräte ist in diesem Programm noch nicht enthalten"},
      {"C:\\no\\such\\bench.json", "Der simulierte Messplatz kann nicht angelegt werden"},
  };
  for (const auto& c : cases) {
    DeviceChoice choice = ChooseDevices(c.simulator);
    EXPECT_EQ(choice.message.rfind(c.message, 0), 0u) << choice.message;
    EXPECT_EQ(DevicesOf(choice), 0u);
  }
}

TEST(DeviceChoiceTest, ABenchFileGivesItsDevices) {
  testkit::TempFolder folder;
  testkit::WriteFileText(
      folder.File("bench.json"),
      R"({ "devices": [ { "persist": false }, { "persist": false, "instance": "b" } ] })");
  DeviceChoice choice = ChooseDevices(folder.File("bench.json"));
  EXPECT_EQ(choice.message, "");
  EXPECT_EQ(DevicesOf(choice), 2u);
}

}  // namespace
}  // namespace kestrune::win32
