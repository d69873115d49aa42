#include "ledger/station_ledger.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "ledger/file_ledger.h"
#include "ledger/ledger_backends.h"
#include "serials/identity_assignment.h"

namespace kestrune {
namespace {

class StationLedgerTest : public testing::Test {
 protected:
  void SetUp() override {
    testkit::MakeOneRange(m_ranges, 10);
    std::filesystem::create_directories(m_folder.File("share"));
  }
  StationLedger Station(const std::string& name) {
    const std::string where = m_folder.File("share/ledger.csv");
    return StationLedger(std::make_unique<FileLedger>(where), where, name,
                         m_folder.File(name + ".queue"));
  }
  testkit::TempFolder m_folder;
  RecordArray m_ranges;
};

TEST_F(StationLedgerTest, TwoStationsNeverGiveTheSameIdentity) {
  StationLedger one = Station("one");
  StationLedger two = Station("two");
  std::int32_t proposal = 0;
  OperatorMessage message;
  ASSERT_TRUE(one.Propose(m_ranges, 1000, proposal, message));
  // Both propose 1000 before either reserves: only the first gets it.
  std::int32_t same = 0;
  ASSERT_TRUE(two.Propose(m_ranges, 1000, same, message));
  EXPECT_EQ(same, 1000);

  const auto assignment = Recompute(proposal, m_ranges, 0);
  ASSERT_TRUE(assignment);
  const LedgerIdentity first = IdentityOfRecord(assignment->record, "UID-1");
  EXPECT_EQ(first, (LedgerIdentity{1000, 0x020000001000, 0x020000001001, "UID-1"}));
  ASSERT_EQ(one.Reserve(first, 1, message), LedgerStatus::Ok);
  EXPECT_EQ(two.Reserve(IdentityOfRecord(assignment->record, "UID-2"), 2, message),
            LedgerStatus::Conflict);
  EXPECT_EQ(message.caption, "Fehler");
  EXPECT_EQ(message.text,
            "Die Seriennummer 1000 ist bereits für das Gerät UID-1 reserviert !\n\nEs wird "
            "nichts in das Gerät geschrieben.");
  EXPECT_TRUE(one.Confirm(first, true, 3, message));
  ASSERT_TRUE(two.Propose(m_ranges, 1000, proposal, message));
  EXPECT_EQ(proposal, 1001);
}

TEST_F(StationLedgerTest, AwayLedgerAssignsNothingAndQueuesRuns) {
  std::filesystem::rename(m_folder.File("share"), m_folder.File("moved"));
  StationLedger station = Station("one");
  std::int32_t proposal = -1;
  OperatorMessage message;
  EXPECT_FALSE(station.Propose(m_ranges, 1000, proposal, message));
  EXPECT_EQ(proposal, -1);
  EXPECT_TRUE(message.text.ends_with("Es wird keine Seriennummer vergeben.")) << message.text;
  EXPECT_NE(station.Reserve({1000, 1, 2, "U"}, 1, message), LedgerStatus::Ok);
  EXPECT_EQ(station.RecordVerifiedRun({"", 5, "", "U", "fw.bin", "F405", "1.0", "d"}, message),
            RunRecordOutcome::Queued);
  EXPECT_EQ(message.caption, "Warnung");

  std::filesystem::rename(m_folder.File("moved"), m_folder.File("share"));
  // The next contact sends the queued run.
  EXPECT_TRUE(station.Propose(m_ranges, 1000, proposal, message));
  LedgerContents contents;
  ASSERT_EQ(FileLedger(m_folder.File("share/ledger.csv")).Read(contents), LedgerStatus::Ok);
  ASSERT_EQ(contents.runs.size(), 1u);
  EXPECT_EQ(contents.runs[0].station, "one");
}

}  // namespace
}  // namespace kestrune
