#include "serials/identity_assignment.h"

#include <gtest/gtest.h>

#include "serials/mac_range.h"

namespace kestrune {
namespace {

constexpr std::uint32_t kNow = 1400334309;  // 2014-05-17 13:45:09 UTC

class Assignment : public testing::Test {
 protected:
  void SetUp() override {
    m_ranges.Configure(sizeof(MacRange), -1);
    Add(0x0200000012FF, 10, 10, 2);
    Add(0x001122334400, 1000, 500000, 1);
    m_ranges.Sort(CompareMacRanges, 0, -1, false);
  }
  void Add(std::uint64_t mac, std::int32_t count, std::int32_t first, std::int32_t line) {
    const MacRange range{mac, count, first, line};
    m_ranges.Insert(&range, 0x7FFFFFFF, 1);
  }
  std::optional<SerialAssignment> At(std::int32_t serial, bool twoMacs = true) {
    return Recompute(serial, m_ranges, kNow, twoMacs, UtcCalendar);
  }
  RecordArray m_ranges;
};

TEST_F(Assignment, DerivesMacsFromTheRangeOrTheFirstRange) {
  struct Case {
    std::int32_t typed;
    const char* serialText;
    int inRange;
    const char* macA;
    const char* macB;
  };
  const Case cases[] = {
      {500000, "500000", 1, "00-11-22-33-44-00", "00-11-22-33-44-01"},
      {500999, "500999", 1, "00-11-22-33-4B-CE", "00-11-22-33-4B-CF"},
      {10, "10", 1, "02-00-00-00-12-FF", "02-00-00-00-13-00"},              // MAC B carries
      {0x1000000 + 10, "10", 1, "02-00-00-00-12-FF", "02-00-00-00-13-00"},  // low 24 bits
      // Outside every range: derived from the first range of the list, above or below it.
      {501000, "501000", 0, "00-11-22-33-4B-D0", "00-11-22-33-4B-D1"},
      {-1, "16777215", 0, "00-11-24-24-01-BE", "00-11-24-24-01-BF"},
      {0, "0", 0, "00-11-22-24-01-C0", "00-11-22-24-01-C1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    const auto result = At(c.typed);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->serialText, c.serialText);
    EXPECT_EQ(result->inRange, c.inRange);
    EXPECT_EQ(result->macA, c.macA);
    EXPECT_EQ(result->macB, c.macB);
    EXPECT_EQ(result->dateText, "2014-05-17 13:45:09");
  }
}

TEST_F(Assignment, FillsTheIdentityBlock) {
  const OtpBlock expected = {0x00, 0x11, 0x22, 0x33, 0x4B, 0xCE, 0x7A, 0x85, 0xE5, 0x67, 0x77,
                             0x53, 0x07, 0xA5, 0x07, 0x80, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                             0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(At(500999)->record, expected);
  OtpBlock single = expected;
  single[15] = 0x00;
  EXPECT_EQ(At(500999, false)->record, single);
}

TEST_F(Assignment, WithoutRangesThereIsNothingToFill) {
  RecordArray none;
  EXPECT_FALSE(Recompute(500000, none, kNow, true, UtcCalendar).has_value());
}

TEST(ChooseOtpBlock, TakesTheBlockAboveTheLastUsedOne) {
  OtpBlock record;
  record.fill(0xFF);
  for (int i = 0; i < 16; ++i) record[i] = static_cast<std::uint8_t>(i);
  OtpBlock sameButLater = record;
  sameButLater[9] ^= 0x5A;  // only the time stamp differs
  OtpBlock other = record;
  other[15] ^= 0x80;
  OtpBlock used;
  used.fill(0x00);

  struct Case {
    const char* name;
    std::vector<std::pair<int, OtpBlock>> blocks;  // everything else empty
    OtpBlockChoice choice;
    std::uint32_t lastUsed;
  };
  const Case cases[] = {
      {"empty area: block 1, never block 0", {}, OtpBlockChoice::Write, 0},
      {"used block 0", {{0, used}}, OtpBlockChoice::Write, 0},
      {"gap below the last used block", {{3, other}}, OtpBlockChoice::Write, 3},
      {"same record, later time", {{3, sameButLater}}, OtpBlockChoice::AlreadyInDevice, 3},
      {"same record in an older block", {{3, record}, {4, other}}, OtpBlockChoice::Write, 4},
      {"one byte differs in the last block",
       {{5, record},
        {6,
         [&] {
           OtpBlock b = record;
           b[31] = 0xFE;
           return b;
         }()}},
       OtpBlockChoice::Write,
       6},
      {"block 15 used", {{15, other}}, OtpBlockChoice::AreaFull, 15},
      {"block 15 holds it", {{15, sameButLater}}, OtpBlockChoice::AlreadyInDevice, 15},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OtpImage image{};
    std::fill(image.begin(), image.begin() + kOtpBlockCount * kOtpBlockSize, 0xFF);
    for (const auto& [index, block] : c.blocks) {
      std::copy(block.begin(), block.end(), image.begin() + index * kOtpBlockSize);
    }
    const OtpTarget target = ChooseOtpBlock(image, record);
    EXPECT_EQ(target.choice, c.choice);
    EXPECT_EQ(target.lastUsed, c.lastUsed);
    EXPECT_EQ(target.target, c.lastUsed + 1);
  }
}

}  // namespace
}  // namespace kestrune
