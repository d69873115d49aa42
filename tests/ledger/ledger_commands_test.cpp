// A line of stations through the real commands: each station is a process that runs `kestrune
// set-identity` on one fresh simulated device after another, all on one ledger. No serial number
// and no MAC address is given twice, every identity a station was told of is in the ledger, also
// when stations are killed at any point; and a run whose ledger stops meanwhile ends verified,
// its record queued and sent at the next contact.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <regex>
#include <thread>

#include "ledger/ledger_backends.h"
#include "ledger/open_ledger.h"
#include "ledger/postgres_server.h"
#include "testkit/child_processes.h"
#include "testkit/exact_ledger.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace kestrune {
namespace {

using testkit::LedgerBackend;
using testkit::ReadFileText;

constexpr int kStations = 8;
constexpr int kAssignmentsEach = 50;

// One station: COUNT devices in turn, each with a unique ID of its own (station, round, number),
// each given its identity by one `set-identity` whose JSON lands in a file of its own.
constexpr const char* kStationScript = R"(
i=1
while [ "$i" -le "$COUNT" ]; do
  printf '{"devices": [{"uniqueId": "5A 00 %s 00 %02X %s 00 00 00 00 00 00", "persist": false}]}' \
    "$STATION" "$i" "$ROUND" > "$DIR/bench.json"
  "$KESTRUNE" --simulate="$DIR/bench.json" --infos "$DIR/Infos" --json set-identity --yes \
    --ledger "$WHERE" > "$DIR/$ROUND-$i.json" 2>> "$DIR/err"
  i=$((i + 1))
done
)";

class LedgerCommands : public testing::TestWithParam<LedgerBackend> {
 protected:
  void SetUp() override {
#ifdef _WIN32
    GTEST_SKIP() << "the stations are processes started with posix_spawn";
#else
    std::string skip;
    m_where = NewLedgerLocation(GetParam(), m_folder, skip);
    if (m_where.empty()) GTEST_SKIP() << skip;
#endif
  }

#ifndef _WIN32
  // A station's folder with its own Infos: the line's ranges, NextSerial.cfg, its queue.
  std::string Station(int station) {
    const std::string dir = m_folder.File("station" + std::to_string(station));
    std::filesystem::create_directories(dir + "/Infos");
    testkit::WriteFileText(dir + "/Infos/MacList.cfg", "RANGE 02-4B-53-00-00-00 1000 100000\n");
    testkit::WriteFileText(dir + "/Infos/NextSerial.cfg", "100000\n");
    testkit::WriteFileText(dir + "/Infos/Ledger.cfg",
                           "STATION \"Platz " + std::to_string(station) + "\"\n");
    return dir;
  }

  // `round`: two hexadecimal digits, so that no two rounds share a device.
  pid_t StartStation(int station, int count, const std::string& round) {
    char number[3];
    std::snprintf(number, sizeof number, "%02X", station);
    return m_processes.Start(
        {"/bin/sh", "-c", kStationScript},
        {"KESTRUNE=" KESTRUNE_PROGRAM, "DIR=" + Station(station), "STATION=" + std::string(number),
         "COUNT=" + std::to_string(count), "ROUND=" + round, "WHERE=" + m_where});
  }
#endif

  // The serial numbers the stations were told were written: whole JSON answers only.
  std::vector<std::int32_t> ToldWritten() {
    std::vector<std::int32_t> serials;
    const std::regex serial("\"serialNumber\": *([0-9]+)");
    for (const auto& entry : std::filesystem::recursive_directory_iterator(m_folder.Path())) {
      if (entry.path().extension() != ".json" || entry.path().filename() == "bench.json") continue;
      const std::string answer = ReadFileText(entry.path().string());
      std::smatch found;
      if (answer.find("\"ok\": true") == std::string::npos ||
          answer.find("\n}") == std::string::npos || !std::regex_search(answer, found, serial)) {
        m_notWritten += entry.path().string() + ":\n" + answer + "\n";
        continue;
      }
      serials.push_back(std::stoi(found[1]));
    }
    return serials;
  }

  // Nothing given twice in the ledger, and every identity told written is there as written.
  LedgerContents ExpectExactLedger(const std::vector<std::int32_t>& toldWritten) {
    std::string error;
    const std::unique_ptr<Ledger> ledger = OpenLedger(m_where, error);
    EXPECT_TRUE(ledger) << error;
    if (!ledger) return {};
    testkit::StationReports reports;
    reports.written = toldWritten;
    return testkit::ExpectExactLedger(*ledger, reports);
  }

  testkit::TempFolder m_folder;
  std::string m_where;
  std::string m_notWritten;  // the answers of the assignments that wrote nothing
#ifndef _WIN32
  testkit::ChildProcesses m_processes;  // declared after the folder: they end before it goes
#endif
};

#ifndef _WIN32
TEST_P(LedgerCommands, EightStationsAtOnceNeverGiveASerialOrMacTwice) {
  for (int i = 0; i < kStations; ++i) StartStation(i, kAssignmentsEach, "01");
  for (int status : m_processes.WaitAll()) EXPECT_EQ(status, 0);

  const std::vector<std::int32_t> told = ToldWritten();
  EXPECT_EQ(told.size(), std::size_t{kStations * kAssignmentsEach}) << m_notWritten;
  const LedgerContents contents = ExpectExactLedger(told);
  EXPECT_EQ(contents.identities.size(), std::size_t{kStations * kAssignmentsEach});
}

TEST_P(LedgerCommands, StationsKilledAtAnyPointLeaveNoDuplicateAndLoseNothing) {
  const unsigned seed = std::random_device()();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < kStations; ++i) StartStation(i, 1000, "1" + std::to_string(round));
    m_processes.KillAtRandomMoments(1500, random);
  }
  // Stations that start after the killed ones still work on what they left.
  for (int i = 0; i < kStations; ++i) StartStation(i, 3, "20");
  for (int status : m_processes.WaitAll()) EXPECT_EQ(status, 0);
  ExpectExactLedger(ToldWritten());
}

// The ledger goes away while a run is on the device (the server stops, the share is gone): the
// run ends verified with a warning, its record waits in the station's queue, and the next
// contact after the ledger is back sends it.
TEST_P(LedgerCommands, ALedgerStoppedDuringARunGetsItsRecordAfterTheRestart) {
  const std::string dir = Station(0);
  testkit::WriteFileText(dir + "/bench.json",
                         "{\"devices\": [{\"persist\": false, \"returnDelayMs\": 1500}]}");
  const pid_t run =
      m_processes.Start({KESTRUNE_PROGRAM, "--simulate=" + dir + "/bench.json", "--infos",
                         dir + "/Infos", "program", "--ledger", m_where, KESTRUNE_SAMPLE_FIRMWARE});
  // The run waits for the device's return after its option bytes: the ledger stops meanwhile.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const bool file = GetParam() == LedgerBackend::File;
  const std::string share = m_folder.File("share");
  if (file) {
    std::filesystem::rename(share, share + ".away");
  } else {
    ASSERT_TRUE(testkit::PostgresServer::Shared().Stop());
  }
  const int status = m_processes.Wait(run);
  if (file) {
    std::filesystem::rename(share + ".away", share);
  } else {
    ASSERT_TRUE(testkit::PostgresServer::Shared().Start());
  }
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const std::string queue = dir + "/Infos/LedgerQueue.csv";
  EXPECT_NE(ReadFileText(queue).find("sample-firmware.bin"), std::string::npos)
      << ReadFileText(queue);

  // The next contact: any command that reaches the ledger.
  const pid_t show = m_processes.Start(
      {KESTRUNE_PROGRAM, "--infos", dir + "/Infos", "ledger", "--ledger", m_where});
  EXPECT_EQ(m_processes.Wait(show), 0);
  EXPECT_EQ(ReadFileText(queue), "");
  const LedgerContents contents = ExpectExactLedger({});
  ASSERT_EQ(contents.runs.size(), 1u);
  EXPECT_EQ(contents.runs[0].firmwareFile, "sample-firmware.bin");
  EXPECT_EQ(contents.runs[0].station, "Platz 0");
}
#else
// Skipped in SetUp, so that the Windows build says why these cases do not run there.
TEST_P(LedgerCommands, EightStationsAtOnce) {}
#endif

INSTANTIATE_TEST_SUITE_P(Backends, LedgerCommands, testkit::EveryBackend(), testkit::BackendName);

}  // namespace
}  // namespace kestrune
