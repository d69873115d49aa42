#include "ledger/serial_proposal.h"

#include <gtest/gtest.h>

#include "ledger/ledger_assignment.h"
#include "serials/mac_range.h"

namespace kestrune {
namespace {

class SerialProposal : public testing::Test {
 protected:
  void SetUp() override {
    m_ranges.Configure(sizeof(MacRange), -1);
    // Sorted by first MAC, as loaded: the higher serial numbers come first.
    Add(0x001000, 10, 500);
    Add(0x002000, 5, 100);
  }
  void Add(std::uint64_t firstMac, std::int32_t count, std::int32_t firstSerial) {
    MacRange range{firstMac, count, firstSerial, 1};
    m_ranges.Insert(&range, 0x7FFFFFFF, 1);
  }
  RecordArray m_ranges;
};

TEST_F(SerialProposal, TheLowestFreeNumberInARangeFromTheCounterOn) {
  const struct {
    std::int32_t next;
    std::vector<std::int32_t> reserved;
    std::optional<std::int32_t> expected;
  } cases[] = {
      {100, {}, 100},
      {100, {100, 101, 103}, 102},
      {102, {102, 103, 104}, 500},  // the rest of the first range taken: on to the next one
      {0, {}, 100},                 // below every range: the lowest range's first number
      {300, {}, 500},               // between the ranges
      {505, {505, 506, 507, 508, 509}, std::nullopt},
      {510, {}, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProposeSerial(m_ranges, c.next, c.reserved), c.expected) << c.next;
  }
}

TEST_F(SerialProposal, IdentitiesFollowTheDialogsRule) {
  EXPECT_EQ(IdentityOfSerial(m_ranges, 102, "U"), (LedgerIdentity{102, 0x002004, 0x002005, "U"}));
  // Outside every range the first range of the list continues.
  EXPECT_EQ(IdentityOfSerial(m_ranges, 511, "U"), (LedgerIdentity{511, 0x001016, 0x001017, "U"}));
  // Only the low 24 bits are stored.
  EXPECT_EQ(IdentityOfSerial(m_ranges, 0x1000000 + 501, "U").serial, 501);
}

}  // namespace
}  // namespace kestrune
