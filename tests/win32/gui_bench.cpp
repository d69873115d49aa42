#include "gui_bench.h"

#include "job/programming_job.h"
#include "platform/platform.h"
#include "testkit/firmware_image_builder.h"
#include "usb/winusb_platform.h"
#include "win32/programmer_window.h"

namespace kestrune::win32::testing {

GuiBench::GuiBench() {
  RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Quorvel\\KestruneTest");
  CreateDirectoryPath(folder.File("Infos").c_str());
  for (const char* name : {"MacList.cfg", "NextSerial.cfg"}) {
    const auto bytes = testkit::ReadFileBytes(std::string(KESTRUNE_SOURCE_DIR) + "/Infos/" + name);
    testkit::WriteFileBytes(folder.File(std::string("Infos/") + name), bytes);
  }
}

std::unique_ptr<SimBench> GuiBench::NewBench(int count,
                                             const std::function<void(SimDeviceConfig&)>& adjust) {
  auto made = std::make_unique<SimBench>(clock);
  for (int i = 0; i < count; ++i) {
    SimDeviceConfig device = DefaultSimDevice("");
    device.timing = InstantTiming();
    device.returnDelayMs = 20;
    device.instance = "dev" + std::to_string(i);
    if (adjust) adjust(device);
    EXPECT_TRUE(made->AddDevice(std::move(device)).device.has_value());
  }
  made->StartEventThread();
  bench = made.get();
  return made;
}

void GuiBench::MakeBench(int count, const std::function<void(SimDeviceConfig&)>& adjust) {
  backend = std::make_unique<DeviceBackend>(clock, NewBench(count, adjust));
}

void GuiBench::MakeWinUsbBench(int count, const std::function<void(SimDeviceConfig&)>& adjust) {
  windowsBench = NewBench(count, adjust);
  windowsStack = std::make_unique<kestrune::testing::FakeStack>(*windowsBench);
  backend = std::make_unique<DeviceBackend>(
      clock, MakeWinUsbPlatform(kestrune::testing::FakeWinUsbApi(), problems.Sink(),
                                DeviceNotifications::ByTheWindow));
}

std::string GuiBench::Firmware(const std::string& name) {
  image = testkit::BuildFirmwareImage();
  const std::string path = folder.File(name);
  testkit::WriteFileBytes(path, image);
  return path;
}

void GuiBench::Run(const std::function<void(GuiOperator&)>& script) {
  if (!backend) MakeBench(1);
  DeviceBackend& devices = *backend;
  ProgrammerWindow window(
      {devices.Dfu(), devices.Bus(), devices.GetClock(), folder.File("Infos"),
       [&devices](RunEvents& events, const RunControl& control, const JobInputs& inputs) {
         ProgrammingJob(events, control, devices.Dfu(), devices.GetClock(), inputs);
       },
       brushes, history, false, [&devices] { return devices.NotificationClasses(); }, &problems});
  RunWithOperator([&window] { window.Run(); }, "Kestrune", script);
}

}  // namespace kestrune::win32::testing
