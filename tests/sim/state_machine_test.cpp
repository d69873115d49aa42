#include <gtest/gtest.h>

#include <random>

#include "dfu/stdfu.h"
#include "sim_fixture.h"

namespace kestrune::simtest {
namespace {

using Bytes = std::vector<std::uint8_t>;
using StateMachineTest = SimTest;

TEST_F(StateMachineTest, DownloadRunsOnTheFirstStatusAndEndsInDownloadIdle) {
  ASSERT_EQ(host->Dnload(0, AddressCommand(0x21, 0x08004000)), UsbResult::Ok);
  EXPECT_EQ(host->GetState(), dfuDNLOAD_SYNC);
  const auto busy = host->GetStatus();
  ASSERT_TRUE(busy);
  EXPECT_EQ(busy->bState, dfuDNBUSY);
  EXPECT_EQ(busy->bStatus, OK);
  const auto done = host->GetStatus();
  ASSERT_TRUE(done);
  EXPECT_EQ(done->bState, dfuDNLOAD_IDLE);
  // Another download is accepted from dfuDNLOAD-IDLE; the pointer now addresses block 2.
  EXPECT_EQ(host->Write(2, Bytes(16, 0x5A))->bState, dfuDNLOAD_IDLE);
  EXPECT_EQ(bench.Peek(0, 0, 0x08004000, 17),
            Bytes({0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A,
                   0x5A, 0x5A, 0x5A, 0xFF}));
}

// Each case brings the device into a state, then sends a request that state does not allow.
TEST_F(StateMachineTest, RequestsNotAllowedStallIntoErrorUntilCleared) {
  struct Case {
    const char* name;
    void (*setUp)(Requests&);
    UsbResult (*request)(Requests&);
  };
  const Case cases[] = {
      {"CLRSTATUS in dfuIDLE", [](Requests&) {}, [](Requests& h) { return h.ClrStatus(); }},
      {"empty DNLOAD in dfuIDLE", [](Requests&) {}, [](Requests& h) { return h.Dnload(0, {}); }},
      {"DNLOAD of block 1", [](Requests&) {}, [](Requests& h) { return h.Dnload(1, {0}); }},
      {"UPLOAD in dfuDNLOAD-IDLE", [](Requests& h) { h.SetAddress(0x08000000); },
       [](Requests& h) {
         Bytes out;
         return h.Upload(2, 16, out).result;
       }},
      {"DNLOAD in dfuUPLOAD-IDLE",
       [](Requests& h) {
         Bytes out;
         h.Upload(2, 2048, out);
       },
       [](Requests& h) { return h.Dnload(2, {0}); }},
      {"ABORT in dfuDNBUSY",
       [](Requests& h) {
         h.Dnload(0, AddressCommand(0x41, 0x08000000));
         h.GetStatus();
       },
       [](Requests& h) { return h.Abort(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimBench fresh(clock);
    SimDeviceConfig config = DefaultSimDevice("");
    config.timing = DatasheetTiming();         // keeps the erase busy
    config.strictness.holdBusyAnswer = false;  // and answers while it is
    ASSERT_TRUE(fresh.AddDevice(config).device);
    Requests h(fresh, 0, clock);
    c.setUp(h);
    EXPECT_EQ(c.request(h), UsbResult::Stall);
    const auto status = h.GetStatus();
    ASSERT_TRUE(status);
    EXPECT_EQ(status->bState, dfuERROR);
    EXPECT_EQ(status->bStatus, errSTALLEDPKT);
    EXPECT_EQ(h.Abort(), UsbResult::Stall);  // only CLRSTATUS leaves dfuERROR
    EXPECT_EQ(h.ClrStatus(), UsbResult::Ok);
    EXPECT_EQ(h.GetState(), dfuIDLE);
  }
}

TEST_F(StateMachineTest, AbortReturnsToIdleFromTheIdleAndSyncStates) {
  host->Dnload(0, AddressCommand(0x21, 0x08000000));
  EXPECT_EQ(host->Abort(), UsbResult::Ok);  // from dfuDNLOAD-SYNC; the command is dropped
  EXPECT_EQ(host->GetState(), dfuIDLE);
  host->SetAddress(0x08000000);
  EXPECT_EQ(host->Abort(), UsbResult::Ok);
  EXPECT_EQ(host->GetState(), dfuIDLE);
  Bytes out;
  host->Upload(2, 2048, out);
  EXPECT_EQ(host->GetState(), dfuUPLOAD_IDLE);
  EXPECT_EQ(host->Abort(), UsbResult::Ok);
  EXPECT_EQ(host->GetState(), dfuIDLE);
}

TEST_F(StateMachineTest, UploadOfBlockZeroListsTheCommandsInAShortFrame) {
  Bytes out;
  EXPECT_EQ(host->Upload(0, 2048, out).result, UsbResult::Ok);
  EXPECT_EQ(out, (Bytes{0x00, 0x21, 0x41, 0x92}));
  EXPECT_EQ(host->GetState(), dfuIDLE);  // a short frame ends the upload
}

// Hosts that clear the status while waiting for dfuIDLE after a set-address rely on this: the
// stray CLRSTATUS stalls into dfuERROR, the next one lands in dfuIDLE, the pointer stays set.
TEST_F(StateMachineTest, StrayClearAfterSetAddressStillReachesIdleWithThePointerSet) {
  host->Dnload(0, AddressCommand(0x21, 0x1FFF7A00));
  ASSERT_EQ(host->Select(2), UsbResult::Ok);
  EXPECT_EQ(host->GetStatus()->bState, dfuDNBUSY);
  EXPECT_EQ(host->ClrStatus(), UsbResult::Stall);
  EXPECT_EQ(host->GetStatus()->bState, dfuERROR);
  EXPECT_EQ(host->ClrStatus(), UsbResult::Ok);
  EXPECT_EQ(host->GetStatus()->bState, dfuIDLE);
  Bytes out;
  host->Upload(2, 12, out);
  EXPECT_EQ(out,
            Bytes(12, 0xFF));  // the lock bytes: the flash start would not be on this alternate
}

TEST_F(StateMachineTest, BadCommandsAndAddressesEndInErrorWithTheirStatus) {
  struct Case {
    const char* name;
    std::uint8_t alternate;
    Bytes command;
    std::uint8_t status;
  };
  const Case cases[] = {
      {"unknown command", 0, {0x33}, errUNKNOWN},
      {"set address with a short operand", 0, {0x21, 0x00, 0x00}, errUNKNOWN},
      {"set address outside the flash", 0, AddressCommand(0x21, 0x08100000), errTARGET},
      {"flash address on the OTP alternate", 2, AddressCommand(0x21, 0x08000000), errTARGET},
      {"erase outside the flash", 0, AddressCommand(0x41, 0x20000000), errTARGET},
      {"erase on the option alternate", 1, AddressCommand(0x41, 0x1FFFC000), errTARGET},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host->ToIdle();
    ASSERT_EQ(host->Select(c.alternate), UsbResult::Ok);
    const auto status = host->Command(c.command);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->bState, dfuERROR);
    EXPECT_EQ(status->bStatus, c.status);
  }
}

TEST_F(StateMachineTest, UploadOutsideTheAlternatesMemoryStallsWithErrTarget) {
  host->SetAddress(0x080FF800);  // the last 2 KiB of flash
  host->Abort();
  Bytes out;
  EXPECT_EQ(host->Upload(2, 2048, out).result, UsbResult::Ok);
  EXPECT_EQ(host->Upload(3, 2048, out).result, UsbResult::Stall);
  EXPECT_EQ(bench.DfuStatusOf(0), errTARGET);
  EXPECT_EQ(bench.DfuStateOf(0), dfuERROR);
}

// Whatever a host sends, the device answers within the buffer it was given and stays in a DFU
// state; run under the sanitizers this also guards every bound of the request handling.
TEST_F(StateMachineTest, RandomRequestsStayWithinTheirBuffers) {
  std::mt19937 random(1);
  const std::uint8_t types[] = {0x00, 0x01, 0x21, 0x80, 0x81, 0xA1};
  const std::uint16_t blocks[] = {0, 1, 2, 3, 0xFFFF};
  for (int i = 0; i < 20000; ++i) {
    UsbSetup setup;
    setup.bmRequestType = types[random() % 6];
    setup.bRequest = static_cast<std::uint8_t>(random() % 12);
    setup.wValue = random() % 2 ? blocks[random() % 5] : static_cast<std::uint16_t>(random());
    setup.wIndex = static_cast<std::uint16_t>(random() % 8 == 0 ? random() : 0);
    setup.wLength = static_cast<std::uint16_t>(random() % 3 ? random() % 16 : random() % 4096);
    std::vector<std::uint8_t> data(setup.wLength);
    for (auto& b : data) b = static_cast<std::uint8_t>(random() % 4 ? 0x21 : random());
    if (random() % 3 == 0 && setup.wLength >= 5) {
      // A plausible address now and then, so that data blocks reach memory.
      const std::uint32_t bases[] = {0x08000000, 0x080FF800, 0x1FFFC000, 0x1FFF7800, 0xFFFF0000};
      const auto command = AddressCommand(0x21, bases[random() % 5] + random() % 64);
      std::copy(command.begin(), command.end(), data.begin());
    }
    if (random() % 50 == 0) host->Select(static_cast<std::uint8_t>(random() % 4));
    const UsbTransfer t = host->Device().ControlTransfer(setup, data.data(), 100);
    ASSERT_LE(t.length, setup.wLength);
    ASSERT_LE(bench.DfuStateOf(0), dfuERROR);
    if (random() % 10 == 0) clock.Advance(random() % 3000);
    if (!bench.IsPresent(0) || host->GetState() == std::nullopt) {
      bench.Plug(0);
      ASSERT_EQ(host->Reopen(), UsbResult::Ok);
    }
  }
}

TEST_F(StateMachineTest, TransferWithoutRoomForItsDataFails) {
  EXPECT_EQ(host->Device().ControlTransfer({0xA1, 3, 0, 0, 6}, nullptr, 100).result,
            UsbResult::Error);
  EXPECT_EQ(host->GetState(), dfuIDLE);
}

TEST_F(StateMachineTest, SetInterfaceAcceptsOnlyTheFourAlternates) {
  EXPECT_EQ(host->Select(3), UsbResult::Ok);
  EXPECT_EQ(host->Select(4), UsbResult::Stall);
  EXPECT_EQ(host->Device().SetAlternateSetting(1, 0), UsbResult::Stall);  // no interface 1
  EXPECT_EQ(host->GetState(), dfuIDLE);  // a standard request does not touch the DFU state
}

TEST_F(StateMachineTest, ZeroLengthDownloadLeavesForTheApplication) {
  std::vector<std::pair<DeviceEvent, std::string>> events;
  bench.SetListener([&events](DeviceEvent e, const std::string& p) { events.emplace_back(e, p); });
  host->ToIdle();
  host->SetAddress(0x08000000);
  ASSERT_EQ(host->Dnload(0, {}), UsbResult::Ok);
  const auto status = host->GetStatus();
  ASSERT_TRUE(status);
  EXPECT_EQ(status->bState, dfuMANIFEST);
  EXPECT_EQ(host->GetStatus(), std::nullopt);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].first, DeviceEvent::Removal);
}

}  // namespace
}  // namespace kestrune::simtest
