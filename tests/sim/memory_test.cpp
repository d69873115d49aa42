#include <gtest/gtest.h>

#include "dfu/stdfu.h"
#include "sim_fixture.h"

namespace kestrune::simtest {
namespace {

using Bytes = std::vector<std::uint8_t>;
using MemoryTest = SimTest;

TEST_F(MemoryTest, EraseClearsExactlyTheSectorAndProgrammingOnlyClearsBits) {
  host->SetAddress(0x08004000);
  host->Write(2, Bytes(4, 0x0F));
  host->Write(3, Bytes(4, 0x3C));  // block 3 lands 2048 bytes further
  host->Write(2, Bytes(4, 0xF5));  // over programmed data: the AND of old and new
  EXPECT_EQ(bench.Peek(0, 0, 0x08004000, 4), Bytes(4, 0x05));
  EXPECT_EQ(bench.Peek(0, 0, 0x08004800, 4), Bytes(4, 0x3C));
  host->SetAddress(0x08000000);
  host->Write(2, Bytes(4, 0x00));
  // Erasing sector 1 by an address inside it leaves sector 0 alone.
  EXPECT_EQ(host->Erase(0x08007FFF)->bState, dfuDNLOAD_IDLE);
  EXPECT_EQ(bench.Peek(0, 0, 0x08004000, 4), Bytes(4, 0xFF));
  EXPECT_EQ(bench.Peek(0, 0, 0x08004800, 4), Bytes(4, 0xFF));
  EXPECT_EQ(bench.Peek(0, 0, 0x08000000, 4), Bytes(4, 0x00));
  EXPECT_EQ(bench.Peek(0, 0, 0x08008000, 1), Bytes(1, 0xFF));
  EXPECT_EQ(host->Command({0x41})->bState, dfuDNLOAD_IDLE);  // mass erase
  EXPECT_EQ(bench.Peek(0, 0, 0x08000000, 4), Bytes(4, 0xFF));
}

TEST_F(MemoryTest, WriteProtectedSectorsKeepTheirContentsWithoutAnError) {
  host->SetAddress(0x08000000);
  host->Write(2, Bytes(4, 0x11));
  host->ToIdle();
  ASSERT_EQ(host->Select(1), UsbResult::Ok);
  host->SetAddress(0x1FFFC000);
  // nWRP bit 0 cleared: sector 0 protected; the rest as at the factory.
  host->Write(2, {0xEF, 0xAA, 0, 0, 0, 0, 0, 0, 0xFE, 0x0F, 0, 0, 0, 0, 0, 0});
  bench.Plug(0);  // back at once instead of after the return delay
  Requests again(bench, 0, clock);
  EXPECT_EQ(again.Erase(0x08000000)->bState, dfuDNLOAD_IDLE);
  EXPECT_EQ(again.Write(2, Bytes(4, 0x00))->bState, dfuDNLOAD_IDLE);
  EXPECT_EQ(bench.Peek(0, 0, 0x08000000, 4), Bytes(4, 0x11));
}

SimDeviceConfig ReadProtected() {
  SimDeviceConfig config = DefaultSimDevice("");
  config.optionBytes = WithOptionComplements({0xEF, 0x55, 0, 0, 0, 0, 0, 0, 0xFF, 0x0F});
  return config;
}

class ReadProtectionTest : public SimTest {
 protected:
  ReadProtectionTest() : SimTest(ReadProtected()) {}
};

TEST_F(ReadProtectionTest, FlashIsRefusedUntilUnprotected) {
  const auto refused = host->SetAddress(0x08000000);
  EXPECT_EQ(refused->bState, dfuERROR);
  EXPECT_EQ(refused->bStatus, errVENDOR);
  host->ToIdle();
  Bytes out;
  EXPECT_EQ(host->Upload(2, 2048, out).result, UsbResult::Stall);  // the pointer is in flash
  EXPECT_EQ(bench.DfuStatusOf(0), errVENDOR);
  host->ToIdle();
  EXPECT_EQ(host->Command({0x41})->bStatus, errVENDOR);  // no mass erase either
  host->ToIdle();
  // Read unprotect erases the flash, restores the factory option bytes unprotected and resets.
  ASSERT_EQ(host->Dnload(0, {0x92}), UsbResult::Ok);
  EXPECT_EQ(host->GetStatus()->bState, dfuDNBUSY);
  EXPECT_EQ(host->GetStatus(), std::nullopt);  // gone
  EXPECT_EQ(bench.Peek(0, 1, 0x1FFFC000, 4), (Bytes{0xEF, 0xAA, 0x10, 0x55}));
  bench.Plug(0);
  ASSERT_EQ(host->Reopen(), UsbResult::Ok);
  EXPECT_EQ(host->SetAddress(0x08000000)->bState, dfuDNLOAD_IDLE);
}

TEST_F(ReadProtectionTest, EveryAlternateIsRefusedUnlessOnlyFlashIsProtected) {
  for (const std::uint8_t alternate : {1, 2}) {
    SCOPED_TRACE(alternate);
    host->ToIdle();
    ASSERT_EQ(host->Select(alternate), UsbResult::Ok);
    const auto refused = host->SetAddress(alternate == 1 ? 0x1FFFC000 : 0x1FFF7800);
    EXPECT_EQ(refused->bState, dfuERROR);
    EXPECT_EQ(refused->bStatus, errVENDOR);
    host->ToIdle();
    Bytes out;
    EXPECT_EQ(host->Upload(2, 16, out).result, UsbResult::Stall);
    EXPECT_EQ(bench.DfuStatusOf(0), errVENDOR);
  }
  // The option write that would drop the level is refused too: only Read Unprotect leads out.
  host->ToIdle();
  ASSERT_EQ(host->Dnload(2, {0xEF, 0xAA, 0, 0, 0, 0, 0, 0, 0xFF, 0x0F, 0, 0, 0, 0, 0, 0}),
            UsbResult::Ok);
  host->GetStatus();
  EXPECT_EQ(host->GetStatus()->bStatus, errVENDOR);
  EXPECT_EQ(bench.Peek(0, 1, 0x1FFFC001, 1), Bytes{0x55});

  SimDeviceConfig lenient = ReadProtected();
  lenient.strictness.protectAllAlternates = false;
  VirtualClock otherClock;
  SimBench other(otherClock);
  ASSERT_TRUE(other.AddDevice(lenient).device);
  Requests kind(other, 0, otherClock);
  ASSERT_EQ(kind.Select(1), UsbResult::Ok);
  EXPECT_EQ(kind.Read(0x1FFFC000, 2), (Bytes{0xEC, 0x55}));
}

TEST(OptionBits, UndefinedBitsReadAsZeroUnlessKept) {
  struct Case {
    std::uint32_t flashKiB;
    bool keep;
    Bytes expected;  // bytes 0, 1, 8, 9 after writing FF AA FF FF
  };
  const Case cases[] = {
      {1024, false, {0xEC, 0xAA, 0xFF, 0x0F}}, {2048, false, {0xFC, 0xAA, 0xFF, 0xCF}},
      {512, false, {0xEC, 0xAA, 0xFF, 0x80}},  {256, false, {0xEC, 0xAA, 0x3F, 0x80}},
      {1024, true, {0xFF, 0xAA, 0xFF, 0xFF}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flashKiB);
    VirtualClock clock;
    SimBench bench(clock);
    SimDeviceConfig config = DefaultSimDevice("");
    config.flashKiB = c.flashKiB;
    config.strictness.keepUndefinedOptionBits = c.keep;
    config.optionBytes = WithOptionComplements({0xFF, 0xAA, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF});
    ASSERT_TRUE(bench.AddDevice(config).device);
    Requests host(bench, 0, clock);
    ASSERT_EQ(host.Select(1), UsbResult::Ok);
    const Bytes block = host.Read(0x1FFFC000, 16);
    ASSERT_EQ(block.size(), 16u);
    EXPECT_EQ((Bytes{block[0], block[1], block[8], block[9]}), c.expected);
  }
}

TEST_F(MemoryTest, OptionBlockReadsWithComplementsAndOnlyWholeBlockWrites) {
  ASSERT_EQ(host->Select(1), UsbResult::Ok);
  // USER bits 0, 1 and 4 are not defined on this part and read 0.
  EXPECT_EQ(host->Read(0x1FFFC000, 16), (Bytes{0xEC, 0xAA, 0x10, 0x55, 0x10, 0x55, 0x10, 0x55, 0xFF,
                                               0x0F, 0x00, 0xF0, 0x00, 0xF0, 0x00, 0xF0}));
  host->ToIdle();
  host->SetAddress(0x1FFFC000);
  const auto partial = host->Write(2, {0xE3, 0xAA});
  EXPECT_EQ(partial->bStatus, errTARGET);
  EXPECT_EQ(bench.Peek(0, 1, 0x1FFFC000, 1), Bytes{0xEF});
}

TEST_F(MemoryTest, OtpBlocksProgramOnceAndLockedBlocksRefuseWrites) {
  ASSERT_EQ(host->Select(2), UsbResult::Ok);
  host->SetAddress(0x1FFF7820);  // block 1
  EXPECT_EQ(host->Write(2, Bytes(32, 0x0F))->bState, dfuDNLOAD_IDLE);
  host->Write(2, Bytes(32, 0xF3));  // bits only go 1 -> 0, nothing erases them
  EXPECT_EQ(bench.Peek(0, 2, 0x1FFF7820, 32), Bytes(32, 0x03));
  bench.LockOtpBlock(0, 2);
  host->ToIdle();
  host->SetAddress(0x1FFF7840);  // block 2, locked
  const auto refused = host->Write(2, Bytes(32, 0x00));
  EXPECT_EQ(refused->bState, dfuERROR);
  EXPECT_EQ(refused->bStatus, errWRITE);
  EXPECT_EQ(bench.Peek(0, 2, 0x1FFF7840, 32), Bytes(32, 0xFF));
  EXPECT_EQ(bench.Peek(0, 2, 0x1FFF7A00, 3), (Bytes{0xFF, 0xFF, 0x00}));
  // The unique ID is read-only, and a write past the lock bytes is refused.
  host->ToIdle();
  host->SetAddress(0x1FFF7A10);
  EXPECT_EQ(host->Write(2, Bytes(4, 0x00))->bStatus, errTARGET);
  host->ToIdle();
  host->SetAddress(0x1FFF7A00);
  EXPECT_EQ(host->Write(2, Bytes(20, 0xFF))->bStatus, errTARGET);
}

TEST(OtpWindow, AnUploadPastTheDeclaredAreaEndsAsTheSettingSays) {
  struct Case {
    const char* name;
    SimOtpOverrun overrun;
    bool idReadable;
    UsbResult result;
    std::uint32_t length;        // of the 2048-byte upload from the OTP start
    std::uint32_t idReadLength;  // of a 12-byte upload at the unique ID
  };
  const Case cases[] = {
      {"short frame", SimOtpOverrun::ShortFrame, false, UsbResult::Ok, 528, 0},
      {"stall", SimOtpOverrun::Stall, false, UsbResult::Stall, 0, 0},
      {"short frame, ID on its own", SimOtpOverrun::ShortFrame, true, UsbResult::Ok, 528, 12},
      {"whole window", SimOtpOverrun::WholeWindow, false, UsbResult::Ok, 2048, 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualClock clock;
    SimBench bench(clock);
    SimDeviceConfig config = DefaultSimDevice("");
    config.strictness.otpOverrun = c.overrun;
    config.strictness.uniqueIdReadable = c.idReadable;
    ASSERT_TRUE(bench.AddDevice(config).device);
    Requests host(bench, 0, clock);
    ASSERT_EQ(host.Select(2), UsbResult::Ok);
    host.SetAddress(0x1FFF7800);
    host.ToIdle();
    Bytes out;
    const UsbTransfer upload = host.Upload(2, 2048, out);
    EXPECT_EQ(upload.result, c.result);
    EXPECT_EQ(upload.length, c.length);
    if (c.result == UsbResult::Ok && c.length < 2048) {
      EXPECT_EQ(host.GetState(), dfuIDLE);  // the short frame ended the upload
    }
    host.ToIdle();
    EXPECT_EQ(host.Read(0x1FFF7A10, 12).size(), c.idReadLength);
  }
}

TEST(OtpWindow, WholeWindowReadsInOneFullBlockWithUniqueIdAndFlashSize) {
  VirtualClock clock;
  SimBench bench(clock);
  SimDeviceConfig config = DefaultSimDevice("");
  config.strictness.otpOverrun = SimOtpOverrun::WholeWindow;
  ASSERT_TRUE(bench.AddDevice(config).device);
  auto host = std::make_unique<Requests>(bench, 0, clock);
  ASSERT_EQ(host->Select(2), UsbResult::Ok);
  const Bytes window = host->Read(0x1FFF7800, 2048);
  ASSERT_EQ(window.size(), 2048u);  // a full block, as hosts ask for it
  EXPECT_EQ(Bytes(window.begin(), window.begin() + 528), Bytes(528, 0xFF));
  EXPECT_EQ(Bytes(window.begin() + 528, window.begin() + 540),
            (Bytes{0x31, 0x00, 0x47, 0x00, 0x0E, 0x51, 0x33, 0x30, 0x37, 0x34, 0x38, 0x36}));
  EXPECT_EQ(window[0x222], 0x00);  // 1024 KiB, little-endian
  EXPECT_EQ(window[0x223], 0x04);
  EXPECT_EQ(host->GetState(), dfuUPLOAD_IDLE);
}

SimDeviceConfig DualBank() {
  SimDeviceConfig config = DefaultSimDevice("");
  config.flashKiB = 2048;
  return config;
}

class DualBankTest : public SimTest {
 protected:
  DualBankTest() : SimTest(DualBank()) {}
};

TEST_F(DualBankTest, SecondBankHasItsOwnSectorsAndOptionBlock) {
  EXPECT_EQ(host->Erase(0x08100000)->bState, dfuDNLOAD_IDLE);  // sector 12, 16 KiB
  host->ToIdle();
  ASSERT_EQ(host->Select(1), UsbResult::Ok);
  host->SetAddress(0x1FFEC000);
  // Bank 2's nWRP bit 0 cleared: sector 12 protected, sector 0 not.
  ASSERT_EQ(host->Dnload(2, {0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0xFE, 0x0F, 0, 0, 0, 0, 0, 0}),
            UsbResult::Ok);
  EXPECT_EQ(host->GetStatus()->bState, dfuDNBUSY);
  EXPECT_EQ(host->GetStatus(), std::nullopt);  // this block resets the chip too
  bench.Plug(0);
  ASSERT_EQ(host->Reopen(), UsbResult::Ok);
  host->SetAddress(0x08100000);
  host->Write(2, Bytes(2, 0x00));
  host->ToIdle();
  host->SetAddress(0x08000000);
  host->Write(2, Bytes(2, 0x00));
  EXPECT_EQ(bench.Peek(0, 0, 0x08100000, 2), Bytes(2, 0xFF));
  EXPECT_EQ(bench.Peek(0, 0, 0x08000000, 2), Bytes(2, 0x00));
  EXPECT_EQ(bench.Peek(0, 1, 0x1FFFC000, 2), (Bytes{0xEF, 0xAA}));  // bank 1 untouched
  EXPECT_EQ(bench.Peek(0, 0, 0x081FFFFF, 2), Bytes{0xFF});          // the last byte of flash
}

}  // namespace
}  // namespace kestrune::simtest
