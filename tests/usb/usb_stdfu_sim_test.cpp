// The memory commands through the DFU library against the simulated boot loader, on a virtual
// clock with the datasheet's flash times: a 128 KiB sector erase takes longer than any of the
// polling time-outs, so this also shows that the library waits out a busy device.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "dfu/memory_commands.h"
#include "sim/sim_bench.h"
#include "usb/usb_stdfu.h"

namespace kestrune {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kFlash = 0x08000000;
constexpr std::uint32_t kSector5 = 0x08020000;  // 128 KiB
constexpr std::uint32_t kOtp = 0x1FFF7800;

// Distinct contents for each `variant`, so that one transfer cannot pass for another.
Bytes Pattern(std::size_t size, unsigned variant) {
  Bytes data(size);
  for (std::size_t i = 0; i < size; ++i) {
    data[i] = static_cast<std::uint8_t>(i * 13 + variant + i / 509);
  }
  return data;
}

struct SimFixture : ::testing::Test {
  VirtualClock clock{0xFFFFF000u};  // the tick count wraps during the tests
  SimBench bench{clock};
  UsbStdfuLibrary dfu{bench, clock};
  std::atomic<int> abortRequested{0};
  std::atomic<int> progressPos{0};
  DfuSession session{dfu, clock, &abortRequested, &progressPos, {}};
  std::size_t device = 0;
  DfuHandle handle = nullptr;

  void SetUp() override {
    SimDeviceConfig config = DefaultSimDevice("");
    config.timing = DatasheetTiming();
    const SimAddResult added = bench.AddDevice(config);
    ASSERT_TRUE(added.device.has_value()) << added.error;
    device = *added.device;
    ASSERT_EQ(dfu.STDFU_Open(bench.PathOf(device).c_str(), &handle), STDFU_NOERROR);
  }
  void TearDown() override {
    if (handle != nullptr) {
      dfu.STDFU_Close(&handle);
    }
  }
  bool Select(std::uint32_t alternate) {
    return dfu.STDFU_SelectCurrentConfiguration(&handle, 0, 0, alternate) == STDFU_NOERROR;
  }
};

TEST_F(SimFixture, DescriptorsOfTheBootLoader) {
  std::uint8_t device18[18] = {};
  ASSERT_EQ(dfu.STDFU_GetDeviceDescriptor(&handle, device18), STDFU_NOERROR);
  EXPECT_EQ(device18[8] | device18[9] << 8, 0x0483);
  EXPECT_EQ(device18[10] | device18[11] << 8, 0xDF11);

  std::uint32_t interface = 9, alternates = 0;
  std::uint8_t functional[9] = {};
  ASSERT_EQ(dfu.STDFU_GetDFUDescriptor(&handle, &interface, &alternates, functional),
            STDFU_NOERROR);
  EXPECT_EQ(interface, 0u);
  EXPECT_EQ(alternates, 4u);
  EXPECT_EQ(functional[1], 0x21);
  EXPECT_EQ(functional[5] | functional[6] << 8, 2048);
  EXPECT_EQ(functional[7] | functional[8] << 8, 0x011A);

  const char* expected[] = {"@Internal Flash  /0x08000000/04*016Kg,01*064Kg,07*128Kg",
                            "@Option Bytes  /0x1FFFC000/01*016 e",
                            "@OTP Memory /0x1FFF7800/01*512 e,01*016 e",
                            "@Device Feature/0xFFFF0000/01*004 e"};
  for (std::uint32_t alternate = 0; alternate < 4; ++alternate) {
    std::uint8_t descriptor9[9] = {};
    ASSERT_EQ(dfu.STDFU_GetInterfaceDescriptor(&handle, 0, interface, alternate, descriptor9),
              STDFU_NOERROR);
    char text[512];
    ASSERT_EQ(dfu.STDFU_GetStringDescriptor(&handle, descriptor9[8], text, sizeof text),
              STDFU_NOERROR);
    EXPECT_STREQ(text, expected[alternate]);
  }
}

TEST_F(SimFixture, EraseWriteAndVerifyFlash) {
  ASSERT_TRUE(Select(0));
  const Bytes first = Pattern(5000, 1);
  const Bytes second = Pattern(3 * 2048 + 1, 2);
  ASSERT_TRUE(EraseSector(session, handle, kFlash));
  ASSERT_TRUE(EraseSector(session, handle, kSector5));
  EXPECT_EQ(bench.DfuStateOf(device), dfuDNLOAD_IDLE);  // the erase was waited for, not cut short
  std::uint32_t where = 0;
  ASSERT_EQ(WriteMemory(session, handle, kFlash, first.size(), first.data(), &where),
            TransferResult::Done);
  ASSERT_EQ(WriteMemory(session, handle, kSector5, second.size(), second.data(), &where),
            TransferResult::Done);
  EXPECT_EQ(progressPos.load(), static_cast<int>(first.size() + second.size()));
  EXPECT_EQ(bench.Peek(device, 0, kFlash, first.size()), first);
  EXPECT_EQ(bench.Peek(device, 0, kSector5, second.size()), second);

  Bytes copy(second.size());
  EXPECT_EQ(ReadMemory(session, handle, kSector5, copy.size(), copy.data()), TransferResult::Done);
  EXPECT_EQ(copy, second);
  Bytes expected = first;
  EXPECT_EQ(VerifyMemory(session, handle, kFlash, expected.size(), expected.data(), &where),
            TransferResult::Done);

  // Programming over written flash without an erase leaves the AND of both: verify notices.
  const Bytes other = Pattern(first.size(), 3);
  ASSERT_EQ(WriteMemory(session, handle, kFlash, other.size(), other.data()), TransferResult::Done);
  Bytes check = other;
  EXPECT_EQ(VerifyMemory(session, handle, kFlash, check.size(), check.data(), &where),
            TransferResult::Failed);
  EXPECT_EQ(where, 0u);
}

TEST_F(SimFixture, VerifyFindsCorruptedReadBack) {
  ASSERT_TRUE(Select(0));
  const Bytes data = Pattern(5000, 4);
  ASSERT_TRUE(EraseSector(session, handle, kFlash));
  ASSERT_EQ(WriteMemory(session, handle, kFlash, data.size(), data.data()), TransferResult::Done);
  SimFault corrupt;
  corrupt.action = SimFaultAction::Corrupt;
  corrupt.address = kFlash + 4999;
  bench.AddFault(device, corrupt);
  Bytes expected = data;
  std::uint32_t where = 0;
  EXPECT_EQ(VerifyMemory(session, handle, kFlash, expected.size(), expected.data(), &where),
            TransferResult::Failed);
  EXPECT_EQ(where, 4096u);
}

TEST_F(SimFixture, FailedRequestsAreRetried) {
  ASSERT_TRUE(Select(0));
  const Bytes data = Pattern(5000, 5);
  ASSERT_TRUE(EraseSector(session, handle, kFlash));
  for (SimFaultAction action : {SimFaultAction::Stall, SimFaultAction::Fail}) {
    SimFault fault;
    fault.action = action;
    fault.request = SimRequest::Dnload;
    fault.nth = 3;  // the second data block of the write below
    bench.AddFault(device, fault);
  }
  ASSERT_EQ(WriteMemory(session, handle, kFlash, data.size(), data.data()), TransferResult::Done);
  EXPECT_EQ(bench.Peek(device, 0, kFlash, data.size()), data);
}

TEST_F(SimFixture, OptionBytesWriteMakesTheDeviceLeaveAndReturn) {
  std::uint8_t b[4] = {};
  ASSERT_TRUE(ReadOptionBytes(session, handle, &b[0], &b[1], &b[2], &b[3]));
  EXPECT_NE(b[0], 0xE3);  // factory state
  EXPECT_EQ(b[1], 0xAA);

  ASSERT_TRUE(WriteOptionBytes(session, handle, 0xE3, 0xAA, 0xFF, 0x3F));
  clock.Advance(50);
  bench.Update();
  EXPECT_FALSE(bench.IsPresent(device));
  std::uint8_t state = 0;
  EXPECT_EQ(dfu.STDFU_Getstate(&handle, &state), STDFU_ERROR_GONE);
  EXPECT_FALSE(ReadOptionBytes(session, handle, &b[0], &b[1], &b[2], &b[3]));
  EXPECT_EQ(dfu.STDFU_Close(&handle), STDFU_NOERROR);

  clock.Advance(5000);
  bench.Update();
  ASSERT_TRUE(bench.IsPresent(device));
  ASSERT_EQ(dfu.STDFU_Open(bench.PathOf(device).c_str(), &handle), STDFU_NOERROR);
  ASSERT_TRUE(ReadOptionBytes(session, handle, &b[0], &b[1], &b[2], &b[3]));
  EXPECT_EQ(Bytes(b, b + 4), (Bytes{0xE0, 0xAA, 0xFF, 0x0F}));  // undefined bits read 0
}

TEST_F(SimFixture, OtpBlockWriteAndTheWholeAreaRead) {
  ASSERT_TRUE(Select(2));
  const Bytes record = Pattern(32, 6);
  ASSERT_EQ(WriteMemory(session, handle, kOtp + 32, record.size(), record.data()),
            TransferResult::Done);
  // The alternate serves the 528 bytes it declares: the short frame is data, and it ends the read.
  Bytes area(540, 0x55);
  std::uint32_t delivered = 0;
  ASSERT_EQ(ReadMemory(session, handle, kOtp, area.size(), area.data(), &delivered),
            TransferResult::Short);
  EXPECT_EQ(delivered, 528u);
  EXPECT_EQ(Bytes(area.begin() + 32, area.begin() + 64), record);
  EXPECT_EQ(Bytes(area.begin(), area.begin() + 32), Bytes(32, 0xFF));
  EXPECT_EQ(Bytes(area.begin() + 528, area.end()), Bytes(12, 0x55));
  // The part of it that a short frame covers reads as Done.
  Bytes blocks(512);
  EXPECT_EQ(ReadMemory(session, handle, kOtp, blocks.size(), blocks.data()), TransferResult::Done);
}

TEST_F(SimFixture, VanishedDeviceEndsEveryWaitAtOnce) {
  SimFault gone;
  gone.action = SimFaultAction::Disconnect;
  gone.request = SimRequest::GetStatus;
  gone.nth = 3;
  gone.stayAway = true;
  bench.AddFault(device, gone);
  const Bytes data = Pattern(3 * 2048, 1);
  const std::uint32_t start = clock.TickCount();
  EXPECT_EQ(WriteMemory(session, handle, kFlash, data.size(), data.data()), TransferResult::Failed);
  EXPECT_TRUE(session.deviceGone);
  EXPECT_FALSE(EraseSector(session, handle, kFlash));
  EXPECT_LT(clock.TickCount() - start, 1000u);
}

TEST_F(SimFixture, TimeoutIsToldApartFromAVanishedDevice) {
  SimFault silent;
  silent.action = SimFaultAction::Timeout;
  silent.request = SimRequest::GetState;
  bench.AddFault(device, silent);
  std::uint8_t state = 0;
  EXPECT_EQ(dfu.STDFU_Getstate(&handle, &state), STDFU_ERROR_TIMEOUT);
  EXPECT_EQ(dfu.STDFU_Getstate(&handle, &state), STDFU_NOERROR);
  bench.Unplug(device);
  EXPECT_EQ(dfu.STDFU_Getstate(&handle, &state), STDFU_ERROR_GONE);
  EXPECT_EQ(dfu.STDFU_Abort(&handle), STDFU_ERROR_GONE);
}

TEST_F(SimFixture, ReadProtectionIsReportedAndReadUnprotectLeadsOut) {
  std::uint8_t b[4] = {};
  ASSERT_TRUE(WriteOptionBytes(session, handle, 0xE3, 0x55, 0xFF, 0x3F));  // level 1
  dfu.STDFU_Close(&handle);
  clock.Advance(5000);
  bench.Update();
  ASSERT_EQ(dfu.STDFU_Open(bench.PathOf(device).c_str(), &handle), STDFU_NOERROR);
  EXPECT_FALSE(ReadOptionBytes(session, handle, &b[0], &b[1], &b[2], &b[3]));
  EXPECT_EQ(session.lastErrorStatus, errVENDOR);

  ASSERT_TRUE(ReadUnprotect(session, handle));
  dfu.STDFU_Close(&handle);
  clock.Advance(30000);
  bench.Update();
  ASSERT_EQ(dfu.STDFU_Open(bench.PathOf(device).c_str(), &handle), STDFU_NOERROR);
  ASSERT_TRUE(ReadOptionBytes(session, handle, &b[0], &b[1], &b[2], &b[3]));
  EXPECT_EQ(b[1], 0xAA);
}

TEST_F(SimFixture, LeaveStartsTheApplicationAndTheDeviceLeavesTheBus) {
  const Bytes data = Pattern(2048, 3);
  ASSERT_EQ(WriteMemory(session, handle, kFlash, data.size(), data.data()), TransferResult::Done);
  EXPECT_TRUE(LeaveDfuMode(session, handle, kFlash));
  clock.Advance(10);
  bench.Update();
  EXPECT_FALSE(bench.IsPresent(device));
}

}  // namespace
}  // namespace kestrune
