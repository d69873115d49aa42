#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "dfu/stdfu.h"
#include "sim_fixture.h"

namespace kestrune::simtest {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Events = std::vector<std::pair<DeviceEvent, std::string>>;

const char* const kDefaultPath =
    "\\\\?\\usb#vid_0483&pid_df11#367f34683033#{3fe809ab-fb91-4cb5-a643-69670d52366e}";

class BusTest : public SimTest {
 protected:
  BusTest() {
    bench.SetListener([this](DeviceEvent e, const std::string& path) {
      std::lock_guard<std::mutex> lock(mutex);
      events.emplace_back(e, path);
    });
  }
  Events Taken() {
    std::lock_guard<std::mutex> lock(mutex);
    return std::exchange(events, {});
  }
  std::mutex mutex;
  Events events;
};

TEST_F(BusTest, DevicesAreListedPerInterfaceClassInWindowsPathForm) {
  SimDeviceConfig second = DefaultSimDevice("");
  second.interfaceClass = SimInterfaceClass::Second;
  second.serialNumber = "SECOND";
  ASSERT_TRUE(bench.AddDevice(second).device);
  EXPECT_EQ(bench.PresentInterfaces(kDfuInterfaceClass), std::vector<std::string>{kDefaultPath});
  EXPECT_EQ(bench.PresentInterfaces(kSecondInterfaceClass),
            std::vector<std::string>{
                "\\\\?\\usb#vid_0483&pid_df11#second#{cb979912-5029-420a-aeb1-34fc0a7d5726}"});
  EXPECT_NE(bench.Open("\\\\?\\USB#VID_0483&PID_DF11#367F34683033#{3FE809AB-FB91-4CB5-A643-"
                       "69670D52366E}"),
            nullptr);  // paths compare without regard to case, as on Windows
  EXPECT_EQ(bench.Open("\\\\?\\usb#vid_0483&pid_df11#other#{3fe809ab-fb91-4cb5-a643-69670d52366e}"),
            nullptr);
  // The same path twice cannot be told apart.
  EXPECT_FALSE(bench.AddDevice(DefaultSimDevice("")).device);
}

TEST_F(BusTest, LongSerialNumbersAndInstancesKeepTheWholePath) {
  // As long as a string descriptor allows: the class GUID that ends the path must survive.
  const std::string longest(126, 'A');
  SimDeviceConfig bySerial = DefaultSimDevice("");
  bySerial.serialNumber = longest;
  SimDeviceConfig byInstance = DefaultSimDevice("");
  byInstance.interfaceClass = SimInterfaceClass::Second;
  byInstance.instance = longest;
  for (const SimDeviceConfig& config : {bySerial, byInstance}) {
    const auto added = bench.AddDevice(config);
    ASSERT_TRUE(added.device) << added.error;
    const std::string path = bench.PathOf(*added.device);
    const std::string guid = config.interfaceClass == SimInterfaceClass::First
                                 ? "#{3fe809ab-fb91-4cb5-a643-69670d52366e}"
                                 : "#{cb979912-5029-420a-aeb1-34fc0a7d5726}";
    EXPECT_EQ(path, "\\\\?\\usb#vid_0483&pid_df11#" + std::string(126, 'a') + guid);
    EXPECT_NE(bench.Open(path), nullptr);
  }
}

TEST_F(BusTest, OptionWriteMakesTheDeviceLeaveAndReturnUnderTheSamePath) {
  ASSERT_EQ(host->Select(1), UsbResult::Ok);
  host->SetAddress(0x1FFFC000);
  ASSERT_EQ(host->Dnload(2, {0xE3, 0xAA, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x3F, 0xFF, 0xFF,
                             0xFF, 0xFF, 0xFF, 0xFF}),
            UsbResult::Ok);
  EXPECT_EQ(host->GetStatus()->bState, dfuDNBUSY);
  EXPECT_EQ(host->GetStatus(), std::nullopt);  // the chip resets: no answer
  EXPECT_EQ(host->Device().ControlTransfer({0xA1, 5, 0, 0, 1}, nullptr, 100).result,
            UsbResult::NoDevice);
  EXPECT_EQ(Taken(), (Events{{DeviceEvent::Removal, kDefaultPath}}));
  EXPECT_EQ(bench.PresentInterfaces(kDfuInterfaceClass), std::vector<std::string>{});
  EXPECT_EQ(bench.Open(kDefaultPath), nullptr);

  clock.Advance(999);  // the default return delay is one second
  bench.Update();
  EXPECT_TRUE(Taken().empty());
  clock.Advance(1);
  bench.Update();
  EXPECT_EQ(Taken(), (Events{{DeviceEvent::Arrival, kDefaultPath}}));
  // The old handle stays dead; a new one finds the device in dfuIDLE on alternate 0.
  EXPECT_EQ(host->GetStatus(), std::nullopt);
  ASSERT_EQ(host->Reopen(), UsbResult::Ok);
  EXPECT_EQ(host->GetState(), dfuIDLE);
  EXPECT_EQ(bench.Peek(0, 1, 0x1FFFC000, 16),
            (Bytes{0xE3, 0xAA, 0x1C, 0x55, 0x1C, 0x55, 0x1C, 0x55, 0xFF, 0x3F, 0x00, 0xC0, 0x00,
                   0xC0, 0x00, 0xC0}));
}

TEST_F(BusTest, LeaveDelayTimesRequestsOutUntilTheBusNotices) {
  SimBench slow(clock);
  SimDeviceConfig config = DefaultSimDevice("");
  config.leaveDelayMs = 300;
  config.returnDelayMs = 0;
  ASSERT_TRUE(slow.AddDevice(config).device);
  Requests h(slow, 0, clock);
  ASSERT_EQ(h.Select(1), UsbResult::Ok);
  h.SetAddress(0x1FFFC000);
  h.Dnload(2, Bytes(16, 0xFF));
  h.GetStatus();
  const std::uint32_t before = clock.TickCount();
  EXPECT_EQ(h.Device().ControlTransfer({0xA1, 5, 0, 0, 1}, nullptr, 100).result,
            UsbResult::Timeout);
  EXPECT_EQ(clock.TickCount() - before, 100u);  // the time-out was waited out on the clock
  EXPECT_EQ(slow.PresentInterfaces(kDfuInterfaceClass)->size(), 1u);  // not noticed yet
  clock.Advance(200);
  EXPECT_EQ(h.GetState(), std::nullopt);
  EXPECT_EQ(h.Reopen(), UsbResult::Ok);  // return delay 0: back at once
}

TEST_F(BusTest, UnplugAndPlugAreSeenByOpenHandlesAndListeners) {
  bench.Unplug(0);
  EXPECT_EQ(host->GetState(), std::nullopt);
  clock.Advance(5000);
  EXPECT_FALSE(bench.IsPresent(0));  // an unplugged device does not come back by itself
  bench.Plug(0);
  EXPECT_EQ(Taken(),
            (Events{{DeviceEvent::Removal, kDefaultPath}, {DeviceEvent::Arrival, kDefaultPath}}));
  EXPECT_EQ(host->GetState(), std::nullopt);
  ASSERT_EQ(host->Reopen(), UsbResult::Ok);
  EXPECT_EQ(host->GetState(), dfuIDLE);
  bench.SetListener({});
  bench.Unplug(0);
  EXPECT_TRUE(Taken().empty());
}

// A worker programs while the window's thread asks the bus and the device comes and goes.
TEST_F(BusTest, WorkerAndWindowThreadsMayUseTheBenchAtOnce) {
  bench.StartEventThread();
  std::atomic<bool> done{false};
  std::thread window([&] {
    while (!done.load()) {
      bench.PresentInterfaces(kDfuInterfaceClass);
      bench.IsPresent(0);
    }
  });
  for (int round = 0; round < 20; ++round) {
    if (host->Reopen() != UsbResult::Ok) {
      clock.Advance(1000);
      continue;
    }
    host->ToIdle();
    host->SetAddress(0x08000000);
    host->Write(2, Bytes(2048, static_cast<std::uint8_t>(round)));
    if (round % 5 == 0) bench.Unplug(0), bench.Plug(0);
  }
  done = true;
  window.join();
  EXPECT_FALSE(Taken().empty());
}

}  // namespace
}  // namespace kestrune::simtest
