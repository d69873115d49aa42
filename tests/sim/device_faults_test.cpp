// Faults of the device itself: blocks it takes in part or not at all, answers that are wrong on
// their way to the host, opens it refuses, and the ways it may come back after a reset.

#include <gtest/gtest.h>

#include "dfu/stdfu.h"
#include "sim_fixture.h"

namespace kestrune::simtest {
namespace {

using Bytes = std::vector<std::uint8_t>;

SimFault Fault(SimFaultAction action, SimRequest request, std::uint32_t nth = 1) {
  SimFault fault;
  fault.action = action;
  fault.request = request;
  fault.nth = nth;
  return fault;
}

using DeviceFaultTest = SimTest;

TEST_F(DeviceFaultTest, ADataBlockTakenInPartOrLostIsStillReportedDone) {
  struct Case {
    const char* name;
    SimFaultAction action;
    Bytes flash;
  };
  const Case cases[] = {
      {"partial", SimFaultAction::Partial, {0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF}},
      {"lost", SimFaultAction::Lost, Bytes(6, 0xFF)},
  };
  std::uint32_t block = 2;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimFault fault = Fault(c.action, SimRequest::Dnload);
    fault.nth = bench.RequestCounts(0)[static_cast<std::size_t>(SimRequest::Dnload)] + 2;
    fault.bytes = 3;
    bench.AddFault(0, fault);
    host->SetAddress(0x08000000);  // not hit: the fault waits for the data block
    const auto status = host->Write(static_cast<std::uint16_t>(block), Bytes(6, 0x00));
    EXPECT_EQ(status->bState, dfuDNLOAD_IDLE);
    EXPECT_EQ(bench.Peek(0, 0, 0x08000000 + (block - 2) * 2048, 6), c.flash);
    ++block;
  }
}

TEST_F(DeviceFaultTest, WrongAnswersReachTheHostOnceAndLeaveTheDeviceAlone) {
  struct Case {
    const char* name;
    SimFault fault;
  };
  SimFault garble = Fault(SimFaultAction::Garble, SimRequest::Upload);
  garble.offset = 1;
  garble.xorMask = 0x80;
  SimFault shortAnswer = Fault(SimFaultAction::Short, SimRequest::Upload);
  shortAnswer.bytes = 2;
  const Case cases[] = {{"garble", garble},
                        {"short", shortAnswer},
                        {"oversized", Fault(SimFaultAction::Oversized, SimRequest::Upload)}};
  const Bytes expected[] = {{0xFF, 0x7F, 0xFF, 0xFF}, {0xFF, 0xFF}, {0xFF, 0xFF, 0xFF, 0xFF}};
  const std::uint32_t lengths[] = {4, 2, 5};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    SimFault fault = cases[i].fault;
    fault.nth = bench.RequestCounts(0)[static_cast<std::size_t>(SimRequest::Upload)] + 1;
    bench.AddFault(0, fault);
    host->ToIdle();
    host->SetAddress(0x08000000);
    host->Abort();
    Bytes out;
    const UsbTransfer faulty = host->Upload(2, 4, out);
    EXPECT_EQ(faulty.result, UsbResult::Ok);
    EXPECT_EQ(faulty.length, lengths[i]);
    out.resize(std::min<std::size_t>(out.size(), 4));
    EXPECT_EQ(out, expected[i]);
    host->Abort();
    EXPECT_EQ(host->Upload(2, 4, out).length, 4u);  // gone on the next read
    EXPECT_EQ(out, Bytes(4, 0xFF));
  }
}

TEST_F(DeviceFaultTest, GetStatusMayLieAboutItsStateAndPollTime) {
  SimFault state = Fault(SimFaultAction::WrongState, SimRequest::GetStatus);
  state.state = dfuDNLOAD_IDLE;
  SimFault poll = Fault(SimFaultAction::PollTimeout, SimRequest::GetStatus, 2);
  poll.pollMs = 5000;
  bench.AddFault(0, state);
  bench.AddFault(0, poll);
  const auto lie = host->GetStatus();
  EXPECT_EQ(lie->bState, dfuDNLOAD_IDLE);
  EXPECT_EQ(bench.DfuStateOf(0), dfuIDLE);
  const auto slow = host->GetStatus();
  EXPECT_EQ(slow->pollMs, 5000u);
  EXPECT_EQ(slow->bState, dfuIDLE);
}

TEST_F(DeviceFaultTest, AnOpenMayBeRefusedWhileTheDeviceStaysAsItWas) {
  for (SimFaultAction action : {SimFaultAction::Fail, SimFaultAction::Busy}) {
    SimFault fault = Fault(action, SimRequest::Open);
    fault.nth = bench.RequestCounts(0)[static_cast<std::size_t>(SimRequest::Open)] + 1;
    bench.AddFault(0, fault);
    EXPECT_EQ(bench.Open(bench.PathOf(0)), nullptr);
    EXPECT_NE(bench.Open(bench.PathOf(0)), nullptr);
    EXPECT_TRUE(bench.IsPresent(0));
  }
}

// Writes the option bytes 0, 1, 8, 9 and waits until the device registered anew.
void WriteOptions(SimBench& bench, Requests& host, Clock& clock, Bytes four) {
  host.ToIdle();
  host.Select(1);
  host.SetAddress(0x1FFFC000);
  Bytes block(16, 0xFF);
  block[0] = four[0];
  block[1] = four[1];
  block[8] = four[2];
  block[9] = four[3];
  host.Dnload(2, block);
  host.GetStatus();
  clock.Sleep(5000);
  ASSERT_TRUE(bench.IsPresent(0));
}

TEST_F(DeviceFaultTest, AnOptionWriteThatIsLostResetsTheChipWithTheOldBytes) {
  SimFault lost = Fault(SimFaultAction::Lost, SimRequest::Dnload, 2);
  bench.AddFault(0, lost);
  WriteOptions(bench, *host, clock, {0xE3, 0xAA, 0xFF, 0x3F});
  EXPECT_EQ(host->Reopen(), UsbResult::Ok);
  EXPECT_EQ(bench.Peek(0, 1, 0x1FFFC000, 1), Bytes{0xEF});
}

TEST(DeviceFault, LeavingReadProtectionLevelOneByAnOptionWriteErasesTheFlash) {
  // A boot loader that lets an option write drop the level.
  VirtualClock clock;
  SimBench bench(clock);
  SimDeviceConfig config = DefaultSimDevice("");
  config.strictness.protectAllAlternates = false;
  ASSERT_TRUE(bench.AddDevice(config).device);
  auto host = std::make_unique<Requests>(bench, 0, clock);
  host->SetAddress(0x08000000);
  host->Write(2, Bytes(4, 0x12));
  WriteOptions(bench, *host, clock, {0xEF, 0xBB, 0xFF, 0x0F});  // to level 1: flash kept
  ASSERT_EQ(host->Reopen(), UsbResult::Ok);
  EXPECT_EQ(bench.Peek(0, 0, 0x08000000, 4), Bytes(4, 0x12));
  WriteOptions(bench, *host, clock, {0xEF, 0xAA, 0xFF, 0x0F});
  EXPECT_EQ(bench.Peek(0, 0, 0x08000000, 4), Bytes(4, 0xFF));
}

TEST(DeviceReturn, ADeviceMayComeBackUnderAnotherPathOrAsItsApplication) {
  for (bool inDfu : {true, false}) {
    SCOPED_TRACE(inDfu ? "another path" : "application");
    VirtualClock clock;
    SimBench bench(clock);
    SimDeviceConfig config = DefaultSimDevice("");
    config.returnInstance = inDfu ? "elsewhere" : "";
    config.returnInDfu = inDfu;
    SimFault drop = Fault(SimFaultAction::Disconnect, SimRequest::GetState);
    drop.returnAfterMs = 100;
    config.faults = {drop};
    ASSERT_TRUE(bench.AddDevice(config).device);
    const std::string before = bench.PathOf(0);
    Requests host(bench, 0, clock);
    EXPECT_FALSE(host.GetState());
    clock.Sleep(100);
    EXPECT_TRUE(bench.IsPresent(0));
    const auto listed = bench.PresentInterfaces(kDfuInterfaceClass);
    if (inDfu) {
      EXPECT_NE(bench.PathOf(0), before);
      EXPECT_EQ(*listed, std::vector<std::string>{bench.PathOf(0)});
      EXPECT_EQ(bench.Open(before), nullptr);
    } else {
      EXPECT_TRUE(listed->empty());
      EXPECT_EQ(bench.Open(before), nullptr);
      bench.Unplug(0);
      bench.Plug(0);  // with the boot dongle again
      EXPECT_EQ(bench.PresentInterfaces(kDfuInterfaceClass)->size(), 1u);
    }
  }
}

}  // namespace
}  // namespace kestrune::simtest
