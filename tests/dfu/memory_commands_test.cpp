#include "dfu/memory_commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <string>
#include <vector>

#include "dfu/fake_stdfu.h"

namespace kestrune {
namespace {

using testing::FakeStdfu;
using Strings = std::vector<std::string>;

constexpr std::uint32_t kFlash = 0x08000000;
constexpr TransferResult kDone = TransferResult::Done;
constexpr TransferResult kFailed = TransferResult::Failed;

struct Fixture {
  FakeStdfu fake;
  std::atomic<int> abortRequested{0};
  std::atomic<int> progressPos{0};
  int notices = 0;
  DfuSession session{fake, fake, &abortRequested, &progressPos, [this] { ++notices; }};
  DfuHandle handle = FakeStdfu::Handle();
};

std::vector<std::uint8_t> Pattern(std::size_t size) {
  std::vector<std::uint8_t> data(size);
  for (std::size_t i = 0; i < size; ++i) {
    data[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  }
  return data;
}

// The data blocks a transcript carries (command blocks left out).
Strings DataBlocks(const FakeStdfu& fake, const std::string& kind) {
  Strings blocks;
  for (const auto& entry : fake.Entries(kind + " ")) {
    if (entry.rfind("dnload 0 ", 0) != 0) {
      blocks.push_back(entry);
    }
  }
  return blocks;
}

TEST(MemoryCommands, WriteThenVerifyAndCopy5000Bytes) {
  Fixture f;
  const auto data = Pattern(5000);
  std::uint32_t where = 77;
  ASSERT_EQ(WriteMemory(f.session, f.handle, kFlash, 5000, data.data(), &where), kDone);
  EXPECT_EQ(f.fake.Entries("dnload 0"), Strings{"dnload 0 5 cmd 33 08000000"});
  EXPECT_EQ(DataBlocks(f.fake, "dnload"),
            (Strings{"dnload 2 2048", "dnload 3 2048", "dnload 4 904"}));
  EXPECT_EQ(where, 4096u);
  EXPECT_EQ(f.progressPos.load(), 5000);
  EXPECT_EQ(f.notices, 3);
  for (std::uint32_t i = 0; i < 5000; ++i) {
    ASSERT_EQ(f.fake.Peek(kFlash + i), data[i]) << i;
  }
  EXPECT_EQ(f.fake.Peek(kFlash + 5000), 0xFF);

  f.fake.log.clear();
  auto expected = data;
  EXPECT_EQ(VerifyMemory(f.session, f.handle, kFlash, 5000, expected.data(), &where), kDone);
  EXPECT_EQ(DataBlocks(f.fake, "upload"),
            (Strings{"upload 2 2048", "upload 3 2048", "upload 4 2048"}));
  EXPECT_EQ(f.progressPos.load(), 10000);

  std::vector<std::uint8_t> copy(5000);
  EXPECT_EQ(ReadMemory(f.session, f.handle, kFlash, 5000, copy.data()), kDone);
  EXPECT_EQ(copy, data);
}

// The requests from the first data block on, pauses left out.
Strings RequestsFromFirstBlock(const FakeStdfu& fake, const std::string& firstBlock) {
  const auto first = std::find(fake.log.begin(), fake.log.end(), firstBlock);
  Strings requests;
  std::copy_if(first, fake.log.end(), std::back_inserter(requests),
               [](const std::string& entry) { return entry.rfind("sleep", 0) != 0; });
  return requests;
}

// A status that ended in dfuDNLOAD-IDLE, or an answered upload, proves the device ready for the
// next block: no ready check and no status poll is spent on what the host already knows.
TEST(MemoryCommands, CleanTransfersAskOnlyWhatTheDeviceHasNotShown) {
  Fixture f;
  const auto data = Pattern(5000);
  ASSERT_EQ(WriteMemory(f.session, f.handle, kFlash, 5000, data.data()), kDone);
  EXPECT_EQ(RequestsFromFirstBlock(f.fake, "dnload 2 2048"),
            (Strings{"dnload 2 2048", "getstatus", "getstatus", "dnload 3 2048", "getstatus",
                     "getstatus", "dnload 4 904", "getstatus", "getstatus"}));
  f.fake.log.clear();
  ASSERT_EQ(VerifyMemory(f.session, f.handle, kFlash, 5000, data.data()), kDone);
  EXPECT_EQ(RequestsFromFirstBlock(f.fake, "upload 2 2048"),
            (Strings{"upload 2 2048", "upload 3 2048", "upload 4 2048"}));
}

// The buffer is exactly as long as the range, so a compare past the useful length would also
// trip the address sanitizer; the device's bytes after the range differ from anything there.
TEST(MemoryCommands, VerifyFindsADifferenceInTheLastPartialBlockOnly) {
  Fixture f;
  auto data = Pattern(5000);
  ASSERT_EQ(WriteMemory(f.session, f.handle, kFlash, 5000, data.data()), kDone);
  f.fake.Poke(kFlash + 5000, 0x00);
  std::uint32_t where = 0;
  EXPECT_EQ(VerifyMemory(f.session, f.handle, kFlash, 5000, data.data(), &where), kDone);

  f.fake.Poke(kFlash + 4999, static_cast<std::uint8_t>(data[4999] ^ 1));
  EXPECT_EQ(VerifyMemory(f.session, f.handle, kFlash, 5000, data.data(), &where), kFailed);
  EXPECT_EQ(where, 4096u);
}

TEST(MemoryCommands, EmptyRangeAndAbortSetOnlyTheAddress) {
  for (bool abort : {false, true}) {
    for (bool write : {true, false}) {
      SCOPED_TRACE(std::string(write ? "write" : "read") + (abort ? ", aborted" : ", empty"));
      Fixture f;
      f.abortRequested = abort ? 1 : 0;
      const std::uint32_t length = abort ? 5000 : 0;
      std::vector<std::uint8_t> buffer(5000);
      std::uint32_t where = 99;
      const TransferResult result =
          write ? WriteMemory(f.session, f.handle, 0x1FFF7800, length, buffer.data(), &where)
                : ReadMemory(f.session, f.handle, 0x1FFF7800, length, buffer.data(), &where);
      EXPECT_EQ(result, abort ? TransferResult::Aborted : kDone);
      EXPECT_EQ(where, 0u);
      EXPECT_EQ(f.fake.Entries("dnload"), Strings{"dnload 0 5 cmd 33 1FFF7800"});
      EXPECT_TRUE(f.fake.Entries("upload").empty());
      EXPECT_EQ(f.progressPos.load(), 0);
      EXPECT_EQ(f.notices, 0);
    }
  }
}

TEST(MemoryCommands, AbortBetweenBlocksStopsTheTransfer) {
  Fixture f;
  const auto data = Pattern(5000);
  f.session.postProgress = [&] { f.abortRequested = 1; };
  std::uint32_t where = 0;
  EXPECT_EQ(WriteMemory(f.session, f.handle, kFlash, 5000, data.data(), &where),
            TransferResult::Aborted);
  EXPECT_EQ(DataBlocks(f.fake, "dnload"), Strings{"dnload 2 2048"});
  EXPECT_EQ(where, 0u);
}

// A stop request that comes with the last block still ends the transfer as aborted, so the
// caller never goes on to its next step.
TEST(MemoryCommands, AbortWithTheLastBlockEndsAborted) {
  Fixture f;
  const auto data = Pattern(100);
  f.session.postProgress = [&] { f.abortRequested = 1; };
  EXPECT_EQ(WriteMemory(f.session, f.handle, kFlash, 100, data.data()), TransferResult::Aborted);
  f.abortRequested = 0;
  auto copy = data;
  EXPECT_EQ(VerifyMemory(f.session, f.handle, kFlash, 100, copy.data()), TransferResult::Aborted);
}

// Calls of dnload and upload are counted from the start: dnload 1 is the set-address command.
TEST(MemoryCommands, DataBlocksAreTriedFourTimes) {
  struct Case {
    const char* name;
    bool write;
    int firstFailure;
    int failures;
    bool ok;
    std::uint32_t where;
  };
  const Case cases[] = {
      {"write, three failures", true, 3, 3, true, 4096},
      {"write, four failures", true, 3, 4, false, 2048},
      {"read, three failures", false, 1, 3, true, 4096},
      {"read, three failures after an answered block", false, 2, 3, true, 4096},
      {"read, four failures", false, 3, 4, false, 4096},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    auto data = Pattern(5000);
    if (!c.write) {
      ASSERT_EQ(WriteMemory(f.session, f.handle, kFlash, 5000, data.data()), kDone);
    }
    f.fake.Fail(c.write ? "dnload" : "upload", c.firstFailure, c.failures, true);
    std::uint32_t where = 0;
    const TransferResult result =
        c.write ? WriteMemory(f.session, f.handle, kFlash, 5000, data.data(), &where)
                : VerifyMemory(f.session, f.handle, kFlash, 5000, data.data(), &where);
    EXPECT_EQ(result, c.ok ? kDone : kFailed);
    EXPECT_EQ(where, c.where);
  }
}

TEST(MemoryCommands, SetAddressIsTriedFourTimesWithoutPause) {
  for (int failures : {3, 4}) {
    SCOPED_TRACE(failures);
    Fixture f;
    f.fake.Fail("dnload", 1, failures, true);
    std::uint8_t byte = 0;
    EXPECT_EQ(ReadMemory(f.session, f.handle, kFlash, 1, &byte), failures < 4 ? kDone : kFailed);
    EXPECT_EQ(f.fake.Entries("dnload 0").size(), 4u);
    EXPECT_TRUE(f.fake.Entries("sleep 10").empty());
  }
}

TEST(MemoryCommands, RangeBeyondBlockNumbersIsRefusedUnsent) {
  Fixture f;
  const std::uint8_t byte = 0;
  const std::uint32_t tooLong = (0xFFFFu - 1) * kDataBlockSize + 1;
  std::uint32_t where = 5;
  EXPECT_EQ(WriteMemory(f.session, f.handle, kFlash, tooLong, &byte, &where), kFailed);
  EXPECT_EQ(ReadMemory(f.session, f.handle, kFlash, 0xFFFFFFFFu, nullptr, &where), kFailed);
  EXPECT_EQ(where, 0u);
  EXPECT_TRUE(f.fake.log.empty());
}

TEST(EraseSector, SendsTheEraseCommand) {
  Fixture f;
  EXPECT_TRUE(EraseSector(f.session, f.handle, 0x08020000));
  EXPECT_EQ(f.fake.Entries("dnload"), Strings{"dnload 0 5 cmd 65 08020000"});
  EXPECT_EQ(f.fake.state, dfuDNLOAD_IDLE);
}

TEST(EraseSector, GivesUp) {
  {
    SCOPED_TRACE("ready check fails");
    Fixture f;
    f.fake.Fail("getstatus", 1, 1000);
    EXPECT_FALSE(EraseSector(f.session, f.handle, 0x08020000));
    EXPECT_TRUE(f.fake.Entries("dnload").empty());
  }
  {
    SCOPED_TRACE("erase command refused four times");
    Fixture f;
    f.fake.Fail("dnload", 1, 4, true);
    EXPECT_FALSE(EraseSector(f.session, f.handle, 0x08020000));
    EXPECT_EQ(f.fake.Entries("dnload").size(), 4u);
    EXPECT_EQ(f.fake.Entries("sleep 10").size(), 4u);
  }
  {
    SCOPED_TRACE("no way to dfuIDLE");
    Fixture f;
    f.fake.state = dfuDNLOAD_IDLE;
    f.fake.stuck = true;
    EXPECT_FALSE(EraseSector(f.session, f.handle, 0x08020000));
    EXPECT_TRUE(f.fake.Entries("dnload").empty());
  }
}

TEST(OptionBytes, BlockLayoutAndRoundTrip) {
  Fixture f;
  ASSERT_TRUE(WriteOptionBytes(f.session, f.handle, 0xE3, 0xAA, 0xFF, 0x3F));
  EXPECT_EQ(f.fake.Entries("select"), Strings{"select 0 0 1"});
  EXPECT_EQ(f.fake.Entries("dnload"), (Strings{"dnload 0 5 cmd 33 1FFFC000", "dnload 2 16"}));
  const std::uint8_t expected[16] = {0xE3, 0xAA, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                     0xFF, 0x3F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  for (std::uint32_t i = 0; i < 16; ++i) {
    EXPECT_EQ(f.fake.Peek(kOptionBytesAddress + i), expected[i]) << i;
  }

  f.fake.log.clear();
  f.fake.Poke(kOptionBytesAddress + 2, 0x12);  // bytes other than 0, 1, 8, 9 are not handed out
  std::uint8_t b[4] = {};
  ASSERT_TRUE(ReadOptionBytes(f.session, f.handle, &b[0], &b[1], &b[2], &b[3]));
  EXPECT_EQ(f.fake.Entries("select"), Strings{"select 0 0 1"});
  EXPECT_EQ(f.fake.Entries("upload"), Strings{"upload 2 16"});
  EXPECT_EQ(std::vector<std::uint8_t>(b, b + 4),
            (std::vector<std::uint8_t>{0xE3, 0xAA, 0xFF, 0x3F}));
}

TEST(OptionBytes, WriteRetriesWhenTheAddressIsNotFollowedByDownloadIdle) {
  Fixture f;
  f.fake.statusScript = {dfuIDLE};  // never dfuDNLOAD-IDLE
  EXPECT_FALSE(WriteOptionBytes(f.session, f.handle, 0xE3, 0xAA, 0xFF, 0x3F));
  EXPECT_EQ(f.fake.Entries("dnload").size(), 4u);
  EXPECT_EQ(f.fake.Entries("sleep 10").size(), 4u);
  EXPECT_EQ(f.fake.Entries("dnload 2").size(), 0u);
  // Each failed try ends with an abort followed by the pause.
  for (std::size_t i = 1; i < f.fake.log.size(); ++i) {
    if (f.fake.log[i] == "sleep 10") {
      EXPECT_EQ(f.fake.log[i - 1], "abort");
    }
  }
}

TEST(OptionBytes, FailedStepsAreRetriedAndOutBytesUntouchedOnFailure) {
  struct Case {
    const char* name;
    const char* kind;
    int failures;
    bool ok;
  };
  const Case cases[] = {
      {"select fails three times", "select", 3, true},
      {"upload fails four times", "upload", 4, false},
      {"set-address fails four times", "dnload", 4, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.fake.Poke(kOptionBytesAddress, 0xEF);
    f.fake.Fail(c.kind, 1, c.failures, true);
    std::uint8_t b[4] = {1, 2, 3, 4};
    EXPECT_EQ(ReadOptionBytes(f.session, f.handle, &b[0], &b[1], &b[2], &b[3]), c.ok);
    EXPECT_EQ(b[0], c.ok ? 0xEF : 1);
    EXPECT_EQ(b[3], c.ok ? 0xFF : 4);
  }
}

TEST(OptionBytes, WriteSucceedsWhenTheDeviceLeavesAfterTheBlock) {
  // A clean run tells how many status requests come before the block.
  Fixture probe;
  ASSERT_TRUE(WriteOptionBytes(probe.session, probe.handle, 0xE3, 0xAA, 0xFF, 0x3F));
  const auto& log = probe.fake.log;
  const auto block = std::find(log.begin(), log.end(), "dnload 2 16");
  const int before = static_cast<int>(std::count(log.begin(), block, "getstatus"));

  Fixture f;
  f.fake.Fail("getstatus", before + 1, 1000);
  EXPECT_TRUE(WriteOptionBytes(f.session, f.handle, 0xE3, 0xAA, 0xFF, 0x3F));
  EXPECT_EQ(f.fake.Entries("dnload 2"), Strings{"dnload 2 16"});
  EXPECT_EQ(f.fake.Entries("getstatus").size(), static_cast<std::size_t>(before + 1));
}

}  // namespace
}  // namespace kestrune
