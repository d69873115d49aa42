// The cases every store of the ledger passes alike: the file and the PostgreSQL database.

#include <gtest/gtest.h>

#include <filesystem>

#include "ledger/ledger_assignment.h"
#include "ledger/ledger_backends.h"
#include "ledger/open_ledger.h"
#include "ledger/postgres_server.h"
#include "ledger/run_queue.h"
#include "platform/platform.h"
#include "serials/mac_range.h"

namespace kestrune {
namespace {

using testkit::LedgerBackend;

class LedgerStore : public testing::TestWithParam<LedgerBackend> {
 protected:
  void SetUp() override {
    testkit::MakeOneRange(m_ranges, 100);
    std::string skip;
    m_where = NewLedgerLocation(GetParam(), m_folder, skip);
    if (m_where.empty()) GTEST_SKIP() << skip;
    m_ledger = Open(m_where);
  }

  std::unique_ptr<Ledger> Open(const std::string& where) {
    std::string error;
    auto ledger = OpenLedger(where, error);
    EXPECT_TRUE(ledger) << error;
    return ledger;
  }

  LedgerIdentity ReserveNext(const std::string& uniqueId) {
    LedgerIdentity identity;
    EXPECT_EQ(ReserveNextFree(*m_ledger, m_ranges, 1000, uniqueId, "bench 1", 100, identity),
              LedgerStatus::Ok)
        << m_ledger->LastError();
    return identity;
  }

  LedgerContents Contents() {
    LedgerContents contents;
    EXPECT_EQ(m_ledger->Read(contents), LedgerStatus::Ok) << m_ledger->LastError();
    return contents;
  }

  testkit::TempFolder m_folder;
  RecordArray m_ranges;
  std::string m_where;
  std::unique_ptr<Ledger> m_ledger;
};

TEST_P(LedgerStore, HandsOutTheLowestFreeSerialAndNeverOneReservedWhateverBecameOfIt) {
  const LedgerIdentity a = ReserveNext("A");
  const LedgerIdentity b = ReserveNext("B");
  const LedgerIdentity c = ReserveNext("C");
  EXPECT_EQ(a, (LedgerIdentity{1000, 0x020000001000ull, 0x020000001001ull, "A"}));
  EXPECT_EQ(b.serial, 1001);
  EXPECT_EQ(b.macA, 0x020000001002ull);
  EXPECT_EQ(c.serial, 1002);
  EXPECT_EQ(m_ledger->Mark(1000, "A", ReservationState::Written, 200), LedgerStatus::Ok);
  EXPECT_EQ(m_ledger->Mark(1001, "B", ReservationState::Failed, 200), LedgerStatus::Ok);

  // Written, failed, and reserved by a station that never came back: all stay taken.
  EXPECT_EQ(ReserveNext("D").serial, 1003);
  const LedgerContents contents = Contents();
  ASSERT_EQ(contents.identities.size(), 4u);
  EXPECT_EQ(contents.identities[0].state, ReservationState::Written);
  EXPECT_EQ(contents.identities[0].time, 200);
  EXPECT_EQ(contents.identities[1].state, ReservationState::Failed);
  EXPECT_EQ(contents.identities[2].state, ReservationState::Reserved);
  EXPECT_EQ(contents.identities[2].station, "bench 1");
}

TEST_P(LedgerStore, RefusesWhatAnotherDeviceHoldsAndChangesNothing) {
  ASSERT_EQ(m_ledger->Reserve({1000, 0x100, 0x101, "A"}, "bench 1", 1), LedgerStatus::Ok);
  const struct {
    const char* what;
    LedgerIdentity identity;
    LedgerStatus expected;
  } cases[] = {
      {"its serial number", {1000, 0x200, 0x201, "B"}, LedgerStatus::Conflict},
      {"its serial number with the same MACs", {1000, 0x100, 0x101, "B"}, LedgerStatus::Conflict},
      {"its first MAC as a second", {1001, 0x0FF, 0x100, "B"}, LedgerStatus::Conflict},
      {"its second MAC as a first", {1001, 0x101, 0x102, "B"}, LedgerStatus::Conflict},
      {"the device's own MAC under another serial",
       {1001, 0x100, 0x300, "A"},
       LedgerStatus::Conflict},
      {"the device's own serial with other MACs",
       {1000, 0x400, 0x401, "A"},
       LedgerStatus::Conflict},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(m_ledger->Reserve(c.identity, "bench 2", 2), c.expected) << c.what;
    EXPECT_FALSE(m_ledger->LastError().empty()) << c.what;
  }
  EXPECT_EQ(m_ledger->Mark(1000, "B", ReservationState::Written, 3), LedgerStatus::Conflict);
  EXPECT_EQ(m_ledger->Mark(1234, "A", ReservationState::Written, 3), LedgerStatus::Conflict);

  const LedgerContents contents = Contents();
  ASSERT_EQ(contents.identities.size(), 1u);
  EXPECT_EQ(contents.identities[0].identity, (LedgerIdentity{1000, 0x100, 0x101, "A"}));
  EXPECT_EQ(contents.identities[0].state, ReservationState::Reserved);

  // The device may take its own reservation again, to try a failed write once more.
  ASSERT_EQ(m_ledger->Mark(1000, "A", ReservationState::Failed, 4), LedgerStatus::Ok);
  EXPECT_EQ(m_ledger->Reserve({1000, 0x100, 0x101, "A"}, "bench 2", 5), LedgerStatus::Ok);
  EXPECT_EQ(Contents().identities.at(0).state, ReservationState::Reserved);
}

// A replaced identity: the device takes a second serial number and keeps the first reserved.
TEST_P(LedgerStore, ADeviceMayHoldASecondSerialNumber) {
  ASSERT_EQ(m_ledger->Reserve({1000, 0x100, 0x101, "A"}, "bench 1", 1), LedgerStatus::Ok);
  ASSERT_EQ(m_ledger->Mark(1000, "A", ReservationState::Written, 2), LedgerStatus::Ok);
  EXPECT_EQ(m_ledger->Reserve({1001, 0x102, 0x103, "A"}, "bench 1", 3), LedgerStatus::Ok)
      << m_ledger->LastError();
  std::vector<std::int32_t> serials;
  ASSERT_EQ(m_ledger->ReservedSerials(serials), LedgerStatus::Ok);
  EXPECT_EQ(serials, (std::vector<std::int32_t>{1000, 1001}));
}

TEST_P(LedgerStore, AProposalWhoseMacsAnotherSerialHoldsIsPassedOver) {
  // A second range whose addresses run into the first one's: 1000's MACs are taken by 5000.
  ASSERT_EQ(m_ledger->Reserve({5000, 0x020000001001ull, 0x020000001002ull, "X"}, "b", 1),
            LedgerStatus::Ok);
  EXPECT_EQ(ReserveNext("A").serial, 1002);
}

TEST_P(LedgerStore, RunsAreKeptOnceInTheirOrderWithTheirTexts) {
  const RunRecord first{"r1", 10, "Bänk; 1", "A", "fw \"neu\".bin", "STM32F405", "1.2", "x"};
  const RunRecord second{"r2", 11, "b", "B", "fw.bin", "STM32F405", "1.3", "2026-01-02"};
  ASSERT_EQ(m_ledger->AddRuns({first, second}), LedgerStatus::Ok) << m_ledger->LastError();
  ASSERT_EQ(m_ledger->AddRuns({second, first}), LedgerStatus::Ok);
  EXPECT_EQ(Contents().runs, (std::vector<RunRecord>{first, second}));
}

TEST_P(LedgerStore, ARunRecordWaitsInTheQueueWhileTheLedgerIsAwayAndGoesAtTheNextContact) {
  const std::string queue = m_folder.File("LedgerQueue.csv");
  const RunRecord before{"r0", 9, "b", "Z", "fw.bin", "STM32F405", "1.1", "d"};
  ASSERT_EQ(RecordRun(*m_ledger, queue, before), RunRecordOutcome::Recorded);

  // The share or the database server goes away.
  const std::filesystem::path share = m_folder.File("share");
  const std::filesystem::path moved = m_folder.File("moved");
  if (GetParam() == LedgerBackend::File) {
    std::filesystem::rename(share, moved);
  } else {
    ASSERT_TRUE(testkit::PostgresServer::Shared().Stop());
  }
  LedgerIdentity identity;
  EXPECT_EQ(ReserveNextFree(*m_ledger, m_ranges, 1000, "A", "b", 1, identity),
            LedgerStatus::Unreachable);
  EXPECT_FALSE(m_ledger->LastError().empty());
  const RunRecord run{"r1", 10, "b", "A", "fw.bin", "STM32F405", "1.2", "d"};
  const RunRecord next{"r2", 11, "b", "B", "fw.bin", "STM32F405", "1.2", "d"};
  EXPECT_EQ(RecordRun(*m_ledger, queue, run), RunRecordOutcome::Queued);
  EXPECT_EQ(RecordRun(*m_ledger, queue, next), RunRecordOutcome::Queued);
  EXPECT_FALSE(SendQueuedRuns(*m_ledger, queue));

  if (GetParam() == LedgerBackend::File) {
    std::filesystem::rename(moved, share);
  } else {
    ASSERT_TRUE(testkit::PostgresServer::Shared().Start());
  }
  EXPECT_TRUE(SendQueuedRuns(*m_ledger, queue)) << m_ledger->LastError();
  EXPECT_TRUE(SendQueuedRuns(*m_ledger, queue));
  EXPECT_EQ(Contents().runs, (std::vector<RunRecord>{before, run, next}));
  EXPECT_EQ(GetPlainFileSize(queue.c_str()), 0);
}

TEST_P(LedgerStore, ExhaustedRangesAreSaid) {
  RecordArray small;
  testkit::MakeOneRange(small, 2);
  LedgerIdentity identity;
  for (const char* id : {"A", "B"}) {
    ASSERT_EQ(ReserveNextFree(*m_ledger, small, 1000, id, "b", 1, identity), LedgerStatus::Ok);
  }
  EXPECT_EQ(ReserveNextFree(*m_ledger, small, 1000, "C", "b", 1, identity),
            LedgerStatus::Exhausted);
}

INSTANTIATE_TEST_SUITE_P(Backends, LedgerStore, testkit::EveryBackend(), testkit::BackendName);

}  // namespace
}  // namespace kestrune
