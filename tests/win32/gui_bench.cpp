#include "gui_bench.h"

#include "job/programming_job.h"
#include "platform/platform.h"
#include "testkit/firmware_image_builder.h"
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

void GuiBench::MakeBench(int count, const std::function<void(SimDeviceConfig&)>& adjust) {
  auto owned = std::make_unique<SimBench>(clock);
  bench = owned.get();
  for (int i = 0; i < count; ++i) {
    SimDeviceConfig device = DefaultSimDevice("");
    device.timing = InstantTiming();
    device.returnDelayMs = 20;
    device.instance = "dev" + std::to_string(i);
    if (adjust) adjust(device);
    ASSERT_TRUE(bench->AddDevice(std::move(device)).device.has_value());
  }
  bench->StartEventThread();
  backend = std::make_unique<DeviceBackend>(clock, std::move(owned));
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
  ProgrammerWindow window({devices.Dfu(), devices.Bus(), devices.GetClock(), folder.File("Infos"),
                           [&devices](JobHost& host, const JobInputs& inputs) {
                             ProgrammingJob(host, devices.Dfu(), devices.GetClock(), inputs);
                           },
                           brushes, history, false});
  RunWithOperator([&window] { window.Run(); }, "Kestrune", script);
}

}  // namespace kestrune::win32::testing
