#include "job_bench.h"

#include <gtest/gtest.h>

#include "device/memory_map.h"
#include "job/programming_job.h"

namespace kestrune {

SimDeviceConfig DeviceWithOptionsInPlace() {
  SimDeviceConfig config = DefaultSimDevice("");
  config.optionBytes = WithOptionComplements({0xE3, 0xAA, 0, 0, 0, 0, 0, 0, 0xFF, 0x3F});
  return config;
}

JobBench::JobBench(SimDeviceConfig config) {
  const SimAddResult added = bench.AddDevice(std::move(config));
  EXPECT_TRUE(added.device.has_value()) << added.error;
  device = added.device.value_or(0);

  // The device data as discovery leaves them.
  JobDevice& data = inputs.device;
  data.deviceCount = 1;
  data.devicePath = bench.PathOf(device);
  DfuHandle handle = nullptr;
  EXPECT_EQ(usb.STDFU_Open(data.devicePath.c_str(), &handle), STDFU_NOERROR);
  std::uint32_t dfuInterface = 0;
  std::uint32_t alternates = 0;
  std::uint8_t descriptor[9] = {};
  EXPECT_EQ(usb.STDFU_GetDFUDescriptor(&handle, &dfuInterface, &alternates, descriptor),
            STDFU_NOERROR);
  std::shared_ptr<const MemoryMap> map = ParseMemoryMap(usb, &handle, dfuInterface, alternates);
  usb.STDFU_Close(&handle);
  EXPECT_NE(map, nullptr);
  data.flashSize = map ? WritableFlashSize(*map) : 0;
  data.memoryMap = map;

  inputs.firmwarePath = temp.File("fw.bin");
  inputs.hardwareId = "0047003133510E3036383437";
  inputs.deviceKind = "KST-4 Steuerung";
  inputs.firmwareVersion = "V2.10";
  inputs.firmwareDate = "12.11.2026";
  inputs.infosFolder = temp.File("Infos");

  // A window that enumerates on ID_RUN_REENUMERATE and hears removals from the bus.
  host.currentDevice = [this] {
    JobDevice now = inputs.device;
    const auto present = bench.PresentInterfaces(kDfuInterfaceClass);
    now.deviceCount = present ? static_cast<int>(present->size()) : 0;
    return now;
  };
  bench.SetListener([this](DeviceEvent event, const std::string&) {
    if (event == DeviceEvent::Removal) host.control.m_deviceRemoved = 1;
  });
  dfu.onDnload = [this](std::uint16_t block, std::uint32_t length, std::uint8_t first) {
    if (block == 0 && length == 5 && first == 0x41) ++m_erases;
    if (block == 2 && length == 16) ++m_optionWrites;
  };
}

void JobBench::WriteFirmware(std::uint32_t size) {
  firmware.resize(size);
  for (std::uint32_t i = 0; i < size; ++i) {
    firmware[i] = static_cast<std::uint8_t>(i * 7 + (i >> 11));
  }
  testkit::WriteFileBytes(inputs.firmwarePath, firmware);
}

void JobBench::UseMap(const std::string& interfaceString) {
  auto map = std::make_shared<MemoryMap>();
  std::optional<MemorySegment> segment = ParseMemorySegment(interfaceString, 0);
  ASSERT_TRUE(segment.has_value()) << interfaceString;
  map->segments.push_back(std::move(*segment));
  inputs.device.memoryMap = map;
}

void JobBench::Run() {
  ProgrammingJob(host, host.control, dfu, clock, inputs);
}

std::vector<std::uint8_t> JobBench::Flash(std::uint32_t length) const {
  return bench.Peek(device, 0, kFlashStart, length);
}

std::vector<std::uint8_t> JobBench::OptionBytes() const {
  return bench.Peek(device, 1, 0x1FFFC000, 16);
}

std::string JobBench::Log() const {
  const std::vector<std::uint8_t> bytes =
      testkit::ReadFileBytes(temp.File("Infos/DownloadList.csv"));
  return {bytes.begin(), bytes.end()};
}

void JobBench::ExpectCleanEnd() const {
  using Event = testkit::RecordedRunEvent;
  const std::vector<Event> events = host.Events();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().kind, Event::Finished);
  EXPECT_EQ(host.Count(Event::Finished), 1);
  EXPECT_LE(host.Errors().size(), 1u);
  for (const Event& event : events) {
    if (event.kind == Event::Failed) {
      EXPECT_EQ(event.openConnections, 0) << event.text;
    }
  }
  EXPECT_EQ(dfu.OpenConnections(), 0);
}

}  // namespace kestrune
