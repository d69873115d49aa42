#include <gtest/gtest.h>

#include "dfu/stdfu.h"
#include "sim_fixture.h"

namespace kestrune::simtest {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The datasheet's flash times on a bus that takes no time, so that the work times show whole;
// `held`: the busy model of a real F4, else the one that reports the exact time left.
SimDeviceConfig DatasheetFlash(bool held = false) {
  SimDeviceConfig config = DefaultSimDevice("");
  config.timing = DatasheetTiming();
  config.timing.controlTransferUs = 0;
  config.timing.dataBytesPerMs = 0;
  config.strictness.holdBusyAnswer = held;
  return config;
}

class DatasheetTimingTest : public SimTest {
 protected:
  DatasheetTimingTest() : SimTest(DatasheetFlash()) {}
};

class HeldBusyTest : public SimTest {
 protected:
  HeldBusyTest() : SimTest(DatasheetFlash(true)) {}
};

TEST_F(HeldBusyTest, StatusAnswersWhenTheWorkIsDoneWithAFixedPollTime) {
  host->Dnload(0, AddressCommand(0x41, 0x08020000));  // 128 KiB: 1000 ms
  const std::uint32_t start = clock.TickCount();
  const auto first = host->GetStatus();
  EXPECT_EQ(clock.TickCount() - start, 1000u);  // the answer waited for the flash
  EXPECT_EQ(first->bState, dfuDNBUSY);
  EXPECT_EQ(first->pollMs, 100u);
  EXPECT_EQ(host->GetStatus()->bState, dfuDNLOAD_IDLE);

  // An erase longer than the host waits: the status times out, the work goes on, and the next
  // status waits for the rest of it.
  host->ToIdle();
  ASSERT_EQ(host->Dnload(0, {0x41}), UsbResult::Ok);  // mass erase: 8000 ms
  UsbSetup status{0xA1, 3, 0, 0, 6};
  std::uint8_t answer[6] = {};
  EXPECT_EQ(host->Device().ControlTransfer(status, answer, 5000).result, UsbResult::Timeout);
  EXPECT_EQ(host->Device().ControlTransfer(status, answer, 5000).result, UsbResult::Ok);
  EXPECT_EQ(clock.TickCount() - start, 1000u + 8000u);
  EXPECT_EQ(answer[4], dfuDNLOAD_IDLE);
}

TEST(FailedWork, ReportsErrorAtTheFirstStatusWhenSoSet) {
  for (const bool first : {false, true}) {
    SCOPED_TRACE(first);
    VirtualClock clock;
    SimBench bench(clock);
    SimDeviceConfig config = DefaultSimDevice("");
    config.strictness.errorAtFirstStatus = first;
    ASSERT_TRUE(bench.AddDevice(config).device);
    Requests host(bench, 0, clock);
    ASSERT_EQ(host.Dnload(0, AddressCommand(0x21, 0x00000000)), UsbResult::Ok);
    const auto status = host.GetStatus();
    EXPECT_EQ(status->bState, first ? dfuERROR : dfuDNBUSY);
    if (first) {
      EXPECT_EQ(status->bStatus, errTARGET);
    }
    EXPECT_EQ(host.GetStatus()->bState, dfuERROR);
  }
}

TEST_F(DatasheetTimingTest, DeviceStaysBusyForTheWorkTimeItReports) {
  struct Case {
    const char* name;
    std::uint16_t block;
    Bytes bytes;
    std::uint32_t ms;
  };
  const Case cases[] = {
      {"16 KiB sector", 0, AddressCommand(0x41, 0x08000000), 250},
      {"64 KiB sector", 0, AddressCommand(0x41, 0x08010000), 550},
      {"128 KiB sector", 0, AddressCommand(0x41, 0x08020000), 1000},
      {"mass erase", 0, {0x41}, 8000},
      {"2048-byte block", 2, Bytes(2048, 0), 9},  // 512 words of 16 us: 8.192 ms
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host->ToIdle();
    host->SetAddress(0x08000000);
    ASSERT_EQ(host->Dnload(c.block, c.bytes), UsbResult::Ok);
    const auto first = host->GetStatus();
    EXPECT_EQ(first->bState, dfuDNBUSY);
    EXPECT_EQ(first->pollMs, c.ms);
    clock.Advance(c.ms - 1);
    const auto still = host->GetStatus();
    EXPECT_EQ(still->bState, dfuDNBUSY);
    EXPECT_EQ(still->pollMs, 1u);
    EXPECT_EQ(host->GetState(), dfuDNBUSY);
    clock.Advance(1);
    EXPECT_EQ(host->GetStatus()->bState, dfuDNLOAD_IDLE);
  }
}

TEST_F(DatasheetTimingTest, WorkCutShortByTheHostStillDelaysTheNextWork) {
  host->Dnload(0, AddressCommand(0x41, 0x08020000));
  EXPECT_EQ(host->GetStatus()->pollMs, 1000u);
  clock.Advance(400);
  EXPECT_EQ(host->Abort(), UsbResult::Stall);  // not while the flash is busy
  EXPECT_EQ(host->ClrStatus(), UsbResult::Ok);
  host->Dnload(0, AddressCommand(0x41, 0x08000000));
  EXPECT_EQ(host->GetStatus()->pollMs, 600u + 250u);

  // Work times add up to the microsecond: two blocks take 16.384 ms, not twice 9 ms.
  host->Complete();
  host->SetAddress(0x08000000);
  host->Dnload(2, Bytes(2048, 0));
  EXPECT_EQ(host->GetStatus()->pollMs, 9u);
  EXPECT_EQ(host->Abort(), UsbResult::Stall);
  EXPECT_EQ(host->ClrStatus(), UsbResult::Ok);
  host->Dnload(3, Bytes(2048, 0));
  EXPECT_EQ(host->GetStatus()->pollMs, 17u);
}

TEST(InstantTiming, ReportsNoBusyTime) {
  VirtualClock clock;
  SimBench bench(clock);
  SimDeviceConfig config = DefaultSimDevice("");
  config.strictness.holdBusyAnswer = false;
  ASSERT_TRUE(bench.AddDevice(config).device);
  Requests host(bench, 0, clock);
  host.Dnload(0, {0x41});
  EXPECT_EQ(host.GetStatus()->pollMs, 0u);
  EXPECT_EQ(host.GetStatus()->bState, dfuDNLOAD_IDLE);
}

using FaultTest = SimTest;

TEST_F(FaultTest, NthRequestOfAKindFailsStallsOrTimesOut) {
  struct Case {
    SimFaultAction action;
    UsbResult result;
    std::uint8_t stateAfter;
    std::uint32_t waitedMs;
  };
  const Case cases[] = {
      {SimFaultAction::Fail, UsbResult::Error, dfuIDLE, 0},
      {SimFaultAction::Stall, UsbResult::Stall, dfuERROR, 0},
      {SimFaultAction::Timeout, UsbResult::Timeout, dfuIDLE, 5000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.action));
    VirtualClock faultClock;
    SimBench faulty(faultClock);
    SimDeviceConfig config = DefaultSimDevice("");
    SimFault fault;
    fault.action = c.action;
    fault.request = SimRequest::GetState;
    fault.nth = 2;
    fault.count = 2;
    config.faults = {fault};
    ASSERT_TRUE(faulty.AddDevice(config).device);
    Requests h(faulty, 0, faultClock);
    const auto request = [&h] {
      std::uint8_t state = 0;
      return h.Device().ControlTransfer({0xA1, 5, 0, 0, 1}, &state, 5000).result;
    };
    EXPECT_EQ(request(), UsbResult::Ok);
    EXPECT_EQ(h.GetStatus()->bState, dfuIDLE);  // other kinds are not counted
    const std::uint32_t before = faultClock.TickCount();
    EXPECT_EQ(request(), c.result);
    EXPECT_EQ(faultClock.TickCount() - before, c.waitedMs);
    EXPECT_EQ(faulty.DfuStateOf(0), c.stateAfter);
    EXPECT_EQ(request(), c.result);  // count 2: the third one too
    h.ClrStatus();
    EXPECT_EQ(request(), UsbResult::Ok);
  }
}

TEST_F(FaultTest, DfuErrorFailsTheDownloadsWorkAndLeavesMemoryAlone) {
  SimFault fault;
  fault.action = SimFaultAction::DfuError;
  fault.request = SimRequest::Dnload;
  fault.nth = 2;
  fault.status = errVERIFY;
  bench.AddFault(0, fault);
  host->SetAddress(0x08000000);
  const auto failed = host->Write(2, Bytes(8, 0x00));
  EXPECT_EQ(failed->bState, dfuERROR);
  EXPECT_EQ(failed->bStatus, errVERIFY);
  EXPECT_EQ(bench.Peek(0, 0, 0x08000000, 8), Bytes(8, 0xFF));
  // On another kind the device finds itself in dfuERROR before it answers.
  fault.request = SimRequest::GetState;
  fault.nth = 1;
  fault.status = errWRITE;
  bench.AddFault(0, fault);
  host->ClrStatus();
  EXPECT_EQ(host->GetState(), dfuERROR);
  EXPECT_EQ(bench.DfuStatusOf(0), errWRITE);
}

TEST_F(FaultTest, DisconnectDropsTheDeviceAtTheChosenRequest) {
  std::vector<DeviceEvent> events;
  bench.SetListener([&events](DeviceEvent e, const std::string&) { events.push_back(e); });
  SimFault fault;
  fault.action = SimFaultAction::Disconnect;
  fault.request = SimRequest::Upload;
  fault.returnAfterMs = 250;
  bench.AddFault(0, fault);
  host->SetAddress(0x08000000);
  host->Abort();
  Bytes out;
  EXPECT_EQ(host->Upload(2, 2048, out).result, UsbResult::NoDevice);
  EXPECT_FALSE(bench.IsPresent(0));
  clock.Advance(250);
  EXPECT_TRUE(bench.IsPresent(0));
  EXPECT_EQ(events, (std::vector<DeviceEvent>{DeviceEvent::Removal, DeviceEvent::Arrival}));

  fault.stayAway = true;
  fault.nth = 2;
  bench.AddFault(0, fault);
  ASSERT_EQ(host->Reopen(), UsbResult::Ok);
  host->SetAddress(0x08000000);
  host->Abort();
  EXPECT_EQ(host->Upload(2, 2048, out).result, UsbResult::NoDevice);
  clock.Advance(100000);
  EXPECT_FALSE(bench.IsPresent(0));
}

TEST_F(FaultTest, CorruptChangesOnlyTheReadBackByte) {
  SimFault fault;
  fault.action = SimFaultAction::Corrupt;
  fault.address = 0x08000801;
  fault.xorMask = 0x80;
  bench.AddFault(0, fault);
  host->SetAddress(0x08000000);
  host->Abort();
  Bytes out;
  host->Upload(3, 4, out);
  EXPECT_EQ(out, (Bytes{0xFF, 0x7F, 0xFF, 0xFF}));
  EXPECT_EQ(bench.Peek(0, 0, 0x08000801, 1), Bytes{0xFF});
}

}  // namespace
}  // namespace kestrune::simtest
