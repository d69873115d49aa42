// Several stations on one ledger at once, as separate processes (the ledger-load tool): no
// serial number or MAC address is ever given twice, and nothing a station was told is lost, even
// when stations are killed at any point of an assignment.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "ledger/ledger_backends.h"
#include "ledger/open_ledger.h"
#include "ledger/run_queue.h"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#endif

namespace kestrune {
namespace {

using testkit::LedgerBackend;

constexpr int kStations = 8;
constexpr int kAssignmentsEach = 50;

// What the stations said happened, from their output.
struct Told {
  std::multimap<std::int32_t, std::string> reserved;  // serial -> unique ID
  std::set<std::int32_t> written;
  std::set<std::string> runs;  // recorded or queued
};

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
  pid_t Start(const std::string& name, int count) {
    const std::string output = m_folder.File(name + ".out");
    m_outputs.push_back(output);
    m_queues.push_back(m_folder.File(name + ".queue"));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    const std::string countText = std::to_string(count);
    const char* argv[] = {KESTRUNE_LEDGER_LOAD, m_where.c_str(), m_queues.back().c_str(),
                          countText.c_str(),    name.c_str(),    nullptr};
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, const_cast<char**>(argv), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
  }

  static int Wait(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
  }
#endif

  Told ReadOutputs() {
    Told told;
    for (const std::string& path : m_outputs) {
      std::ifstream in(path);
      std::string line;
      // A line cut off by a kill was never told: only whole lines count.
      while (std::getline(in, line) && !in.eof()) {
        std::istringstream words(line);
        std::string kind, value, uniqueId;
        words >> kind >> value >> uniqueId;
        if (kind == "reserved") told.reserved.emplace(std::stoi(value), uniqueId);
        if (kind == "written") told.written.insert(std::stoi(value));
        if (kind == "run" || kind == "queued") told.runs.insert(value);
      }
    }
    return told;
  }

  // No serial number and no MAC address twice, and everything told is in the ledger.
  void ExpectExactLedger(const Told& told) {
    for (const std::string& queue : m_queues) {
      EXPECT_TRUE(SendQueuedRuns(*m_ledger, queue)) << m_ledger->LastError();
    }
    LedgerContents contents;
    ASSERT_EQ(m_ledger->Read(contents), LedgerStatus::Ok) << m_ledger->LastError();
    std::map<std::int32_t, const LedgerEntry*> bySerial;
    std::set<std::uint64_t> macs;
    for (const LedgerEntry& entry : contents.identities) {
      EXPECT_TRUE(bySerial.emplace(entry.identity.serial, &entry).second);
      EXPECT_TRUE(macs.insert(entry.identity.macA).second) << entry.identity.serial;
      EXPECT_TRUE(macs.insert(entry.identity.macB).second) << entry.identity.serial;
    }
    std::set<std::int32_t> toldSerials;
    for (const auto& [serial, uniqueId] : told.reserved) {
      EXPECT_TRUE(toldSerials.insert(serial).second) << "serial " << serial << " given twice";
      ASSERT_TRUE(bySerial.contains(serial)) << "serial " << serial << " lost";
      EXPECT_EQ(bySerial[serial]->identity.uniqueId, uniqueId);
    }
    for (std::int32_t serial : told.written) {
      ASSERT_TRUE(bySerial.contains(serial));
      EXPECT_EQ(bySerial[serial]->state, ReservationState::Written) << serial;
    }
    std::set<std::string> runs;
    for (const RunRecord& run : contents.runs) {
      EXPECT_TRUE(runs.insert(run.recordId).second) << "run " << run.recordId << " twice";
    }
    for (const std::string& id : told.runs)
      EXPECT_TRUE(runs.contains(id)) << "run " << id << " lost";
  }

  testkit::TempFolder m_folder;
  std::string m_where;
  std::unique_ptr<Ledger> m_ledger;
  std::vector<std::string> m_outputs;
  std::vector<std::string> m_queues;
};

#ifndef _WIN32
TEST_P(LedgerStations, EightStationsAtOnceNeverGiveASerialOrMacTwice) {
  std::vector<pid_t> stations;
  for (int i = 0; i < kStations; ++i)
    stations.push_back(Start("s" + std::to_string(i), kAssignmentsEach));
  for (pid_t pid : stations) EXPECT_EQ(Wait(pid), 0);

  const Told told = ReadOutputs();
  EXPECT_EQ(told.reserved.size(), std::size_t{kStations * kAssignmentsEach});
  EXPECT_EQ(told.written.size(), std::size_t{kStations * kAssignmentsEach});
  EXPECT_EQ(told.runs.size(), std::size_t{kStations * kAssignmentsEach});
  ExpectExactLedger(told);
  LedgerContents contents;
  ASSERT_EQ(m_ledger->Read(contents), LedgerStatus::Ok);
  EXPECT_EQ(contents.identities.size(), std::size_t{kStations * kAssignmentsEach});
  // The lowest free numbers were taken: no gaps.
  EXPECT_EQ(contents.identities.front().identity.serial, 1000);
  EXPECT_EQ(contents.identities.back().identity.serial, 1000 + kStations * kAssignmentsEach - 1);
}

TEST_P(LedgerStations, StationsKilledAtAnyPointLeaveNoDuplicateAndLoseNothing) {
  const unsigned seed = std::random_device()();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> delayMs(0, 150);
  for (int round = 0; round < 3; ++round) {
    std::vector<std::pair<pid_t, int>> stations;
    for (int i = 0; i < kStations; ++i) {
      stations.emplace_back(Start("k" + std::to_string(round) + "-" + std::to_string(i), 1000),
                            delayMs(random));
    }
    std::sort(stations.begin(), stations.end(),
              [](const auto& a, const auto& b) { return a.second < b.second; });
    int waited = 0;
    for (const auto& [pid, at] : stations) {
      std::this_thread::sleep_for(std::chrono::milliseconds(at - waited));
      waited = at;
      kill(pid, SIGKILL);
    }
    for (const auto& [pid, at] : stations) Wait(pid);
  }
  // Stations that start after the killed ones still work on what they left.
  std::vector<pid_t> after;
  for (int i = 0; i < kStations; ++i) after.push_back(Start("after" + std::to_string(i), 5));
  for (pid_t pid : after) EXPECT_EQ(Wait(pid), 0);
  ExpectExactLedger(ReadOutputs());
}
#else
// Skipped in SetUp, so that the Windows build says why these cases do not run there.
TEST_P(LedgerStations, EightStationsAtOnce) {}
#endif

INSTANTIATE_TEST_SUITE_P(Backends, LedgerStations,
                         testing::Values(LedgerBackend::File, LedgerBackend::Postgres),
                         [](const auto& backend) { return testkit::BackendName(backend.param); });

}  // namespace
}  // namespace kestrune
