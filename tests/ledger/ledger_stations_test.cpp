// Several stations on one ledger at once, as separate processes (the ledger-load tool): no
// serial number or MAC address is ever given twice, and nothing a station was told is lost, even
// when stations are killed at any point of an assignment.

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

#include "ledger/ledger_backends.h"
#include "ledger/open_ledger.h"
#include "ledger/run_queue.h"
#include "testkit/child_processes.h"
#include "testkit/exact_ledger.h"

namespace kestrune {
namespace {

using testkit::LedgerBackend;

constexpr int kStations = 8;
constexpr int kAssignmentsEach = 50;

class LedgerStations : public testing::TestWithParam<LedgerBackend> {
 protected:
  void SetUp() override {
#ifdef _WIN32
    GTEST_SKIP() << "the stations are processes started with posix_spawn";
#else
    std::string skip;
    m_where = NewLedgerLocation(GetParam(), m_folder, skip);
    if (m_where.empty()) GTEST_SKIP() << skip;
    std::string error;
    m_ledger = OpenLedger(m_where, error);
    ASSERT_TRUE(m_ledger) << error;
#endif
  }

#ifndef _WIN32
  // Starts a station; its output goes to a file of its own.
  void Start(const std::string& name, int count) {
    const std::string output = m_folder.File(name + ".out");
    m_outputs.push_back(output);
    m_queues.push_back(m_folder.File(name + ".queue"));
    m_processes.Start({KESTRUNE_LEDGER_LOAD, m_where, m_queues.back(), std::to_string(count), name},
                      {}, output);
  }
#endif

  testkit::StationReports ReadOutputs() {
    testkit::StationReports told;
    for (const std::string& path : m_outputs) {
      std::ifstream in(path);
      std::string line;
      // A line cut off by a kill was never told: only whole lines count.
      while (std::getline(in, line) && !in.eof()) {
        std::istringstream words(line);
        std::string kind, value, uniqueId;
        words >> kind >> value >> uniqueId;
        if (kind == "reserved") told.reserved.emplace(std::stoi(value), uniqueId);
        if (kind == "written") told.written.push_back(std::stoi(value));
        if (kind == "run" || kind == "queued") told.runs.insert(value);
      }
    }
    return told;
  }

  // Nothing given twice, and everything told is in the ledger, the queued runs sent first.
  LedgerContents ExpectExactLedger(const testkit::StationReports& told) {
    for (const std::string& queue : m_queues) {
      EXPECT_TRUE(SendQueuedRuns(*m_ledger, queue)) << m_ledger->LastError();
    }
    return testkit::ExpectExactLedger(*m_ledger, told);
  }

  testkit::TempFolder m_folder;
  std::string m_where;
  std::unique_ptr<Ledger> m_ledger;
  std::vector<std::string> m_outputs;
  std::vector<std::string> m_queues;
#ifndef _WIN32
  testkit::ChildProcesses m_processes;  // declared after the folder: they end before it goes
#endif
};

#ifndef _WIN32
TEST_P(LedgerStations, EightStationsAtOnceNeverGiveASerialOrMacTwice) {
  for (int i = 0; i < kStations; ++i) Start("s" + std::to_string(i), kAssignmentsEach);
  for (int status : m_processes.WaitAll()) EXPECT_EQ(status, 0);

  const testkit::StationReports told = ReadOutputs();
  EXPECT_EQ(told.reserved.size(), std::size_t{kStations * kAssignmentsEach});
  EXPECT_EQ(told.written.size(), std::size_t{kStations * kAssignmentsEach});
  EXPECT_EQ(told.runs.size(), std::size_t{kStations * kAssignmentsEach});
  const LedgerContents contents = ExpectExactLedger(told);
  ASSERT_EQ(contents.identities.size(), std::size_t{kStations * kAssignmentsEach});
  // The lowest free numbers were taken: no gaps.
  EXPECT_EQ(contents.identities.front().identity.serial, 1000);
  EXPECT_EQ(contents.identities.back().identity.serial, 1000 + kStations * kAssignmentsEach - 1);
}

TEST_P(LedgerStations, StationsKilledAtAnyPointLeaveNoDuplicateAndLoseNothing) {
  const unsigned seed = std::random_device()();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < kStations; ++i) {
      Start("k" + std::to_string(round) + "-" + std::to_string(i), 1000);
    }
    m_processes.KillAtRandomMoments(150, random);
  }
  // Stations that start after the killed ones still work on what they left.
  for (int i = 0; i < kStations; ++i) Start("after" + std::to_string(i), 5);
  for (int status : m_processes.WaitAll()) EXPECT_EQ(status, 0);
  ExpectExactLedger(ReadOutputs());
}
#else
// Skipped in SetUp, so that the Windows build says why these cases do not run there.
TEST_P(LedgerStations, EightStationsAtOnce) {}
#endif

INSTANTIATE_TEST_SUITE_P(Backends, LedgerStations, testkit::EveryBackend(), testkit::BackendName);

}  // namespace
}  // namespace kestrune
