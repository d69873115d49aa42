// The time requests take on the simulated bus, spent on the bench's (virtual) clock, and the
// requests a device counts.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "dfu/stdfu.h"
#include "sim_fixture.h"

namespace kestrune::simtest {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The busy model that reports the exact time left, so that poll times show the bus time.
SimDeviceConfig WithTiming(const SimTiming& timing) {
  SimDeviceConfig config = DefaultSimDevice("");
  config.timing = timing;
  config.strictness.holdBusyAnswer = false;
  return config;
}

SimTiming FastestDataStage() {
  SimTiming timing;
  timing.dataBytesPerMs = kSimMaxDataBytesPerMs;
  return timing;
}

TEST(BusTime, EachRequestTakesItsFrameAndItsDataStage) {
  struct Case {
    const char* name;
    SimTiming timing;
    std::function<void(Requests&)> request;
    int repeat;
    std::uint32_t ms;
  };
  const auto getStatus = [](Requests& h) { h.GetStatus(); };
  const auto upload = [](Requests& h) {
    Bytes out;
    h.Upload(2, 2048, out);
  };
  const auto download = [](Requests& h) {
    h.Dnload(2, Bytes(2048, 0xFF));
    h.Abort();
  };
  const Case cases[] = {
      // 1 ms and 6 bytes at 512 per ms: the 11.7 us of each add up instead of being rounded.
      {"status", DatasheetTiming(), getStatus, 1000, 1011},
      {"2048-byte upload", DatasheetTiming(), upload, 10, 50},
      {"2048-byte download and abort", DatasheetTiming(), download, 10, 60},
      {"13 packets per frame", FastestDataStage(), upload, 10, 24},
      {"instant", InstantTiming(), upload, 10, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualClock clock;
    SimBench bench(clock);
    ASSERT_TRUE(bench.AddDevice(WithTiming(c.timing)).device);
    Requests host(bench, 0, clock);
    host.SetAddress(0x08000000);
    host.Abort();
    const std::uint32_t start = clock.TickCount();
    for (int i = 0; i < c.repeat; ++i) c.request(host);
    EXPECT_EQ(clock.TickCount() - start, c.ms);
  }
}

class DatasheetBusTest : public SimTest {
 protected:
  DatasheetBusTest() : SimTest(WithTiming(DatasheetTiming())) {}
};

TEST_F(DatasheetBusTest, HostThatWaitsThePollTimeFindsTheBlockProgrammed) {
  host->SetAddress(0x08000000);
  const std::uint32_t start = clock.TickCount();
  for (std::uint16_t block = 2; block < 12; ++block) {
    SCOPED_TRACE(block);
    ASSERT_EQ(host->Dnload(block, Bytes(2048, 0x5A)), UsbResult::Ok);
    const auto busy = host->GetStatus();
    EXPECT_EQ(busy->bState, dfuDNBUSY);
    // 8.192 ms of programming, less the 1.011 ms its answer was under way.
    EXPECT_EQ(busy->pollMs, 8u);
    clock.Sleep(busy->pollMs);
    EXPECT_EQ(host->GetStatus()->bState, dfuDNLOAD_IDLE);
  }
  // Each block: 5 ms download, twice 1.011 ms status, 8 ms wait.
  EXPECT_EQ(clock.TickCount() - start, 150u);

  // 32 bytes program in 128 us: over before the answer arrives.
  host->ToIdle();
  host->Select(2);
  host->SetAddress(0x1FFF7800);
  host->Dnload(2, Bytes(32, 0x00));
  const auto otp = host->GetStatus();
  EXPECT_EQ(otp->bState, dfuDNBUSY);
  EXPECT_EQ(otp->pollMs, 0u);
  EXPECT_EQ(host->GetStatus()->bState, dfuDNLOAD_IDLE);
}

TEST_F(DatasheetBusTest, TimeOutsAndVanishedDevicesTakeNoBusTime) {
  SimFault timeout;
  timeout.action = SimFaultAction::Timeout;
  timeout.request = SimRequest::GetState;
  bench.AddFault(0, timeout);
  SimFault disconnect;
  disconnect.action = SimFaultAction::Disconnect;
  disconnect.request = SimRequest::GetStatus;
  bench.AddFault(0, disconnect);
  const std::uint32_t start = clock.TickCount();
  EXPECT_FALSE(host->GetState());
  EXPECT_EQ(clock.TickCount() - start, 5000u);  // the transfer's time-out, nothing more
  EXPECT_FALSE(host->GetStatus());
  EXPECT_FALSE(host->GetStatus());
  EXPECT_EQ(clock.TickCount() - start, 5000u);
}

TEST_F(DatasheetBusTest, CountsTheRequestsOfEachKind) {
  host->SetAddress(0x08000000);  // DNLOAD, GETSTATUS busy, GETSTATUS idle
  host->Abort();
  Bytes out;
  host->Upload(2, 2048, out);
  host->Upload(3, 2048, out);
  std::array<std::uint32_t, kSimRequestKinds> expected{};
  expected[static_cast<std::size_t>(SimRequest::Dnload)] = 1;
  expected[static_cast<std::size_t>(SimRequest::GetStatus)] = 2;
  expected[static_cast<std::size_t>(SimRequest::Abort)] = 1;
  expected[static_cast<std::size_t>(SimRequest::Upload)] = 2;
  expected[static_cast<std::size_t>(SimRequest::Open)] = 1;  // the fixture's handle
  EXPECT_EQ(bench.RequestCounts(0), expected);

  const auto file = std::filesystem::path(KESTRUNE_BINARY_DIR) / "sim-test" / "requests.txt";
  std::filesystem::create_directories(file.parent_path());
  {
    VirtualClock otherClock;
    SimBench other(otherClock);
    ASSERT_TRUE(other.AddDevice(DefaultSimDevice("")).device);
    Requests otherHost(other, 0, otherClock);
    otherHost.GetStatus();
    other.WriteRequestCountsAtEnd(file.string());
  }
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(),
            "367F34683033 DETACH 0\n367F34683033 DNLOAD 0\n367F34683033 UPLOAD 0\n"
            "367F34683033 GETSTATUS 1\n367F34683033 CLRSTATUS 0\n367F34683033 GETSTATE 0\n"
            "367F34683033 ABORT 0\n367F34683033 GET_DESCRIPTOR 0\n"
            "367F34683033 SET_INTERFACE 0\n367F34683033 OPEN 1\n");
}

}  // namespace
}  // namespace kestrune::simtest
