#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>

#include "cli/cli.h"
#include "ledger/file_ledger.h"
#include "ledger/run_queue.h"
#include "testkit/cli_outcome.h"
#include "testkit/temp_folder.h"

namespace kestrune::cli {
namespace {

using Outcome = testkit::CliOutcome;

class LedgerCommand : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(m_folder.File("infos"));
    testkit::WriteFileText(m_folder.File("infos/MacList.cfg"), "RANGE 02-00-00-00-10-00 10 1000\n");
    testkit::WriteFileText(m_folder.File("infos/Ledger.cfg"),
                           "# the line's share\nLEDGER ledger.csv\nSTATION \"Platz 2\"\n");
    FileLedger ledger(m_folder.File("infos/ledger.csv"));
    ASSERT_EQ(ledger.Reserve({1000, 0x020000001000, 0x020000001001, "UID-A"}, "Platz 1", 10),
              LedgerStatus::Ok);
    ASSERT_EQ(ledger.Mark(1000, "UID-A", ReservationState::Written, 11), LedgerStatus::Ok);
    ASSERT_EQ(ledger.Reserve({1001, 0x020000001002, 0x020000001003, "UID-B"}, "Platz 2", 12),
              LedgerStatus::Ok);
    ASSERT_EQ(ledger.AddRuns({{"r1", 13, "Platz 1", "UID-A", "fw.bin", "STM32F405", "1.2", "d"}}),
              LedgerStatus::Ok);
  }

  Outcome Run(std::vector<std::string> argv) {
    argv.insert(argv.begin(), {"ledger", "--infos", m_folder.File("infos")});
    return testkit::RunKestrune(argv);
  }

  testkit::TempFolder m_folder;
};

TEST_F(LedgerCommand, ShowsFindsAndChecksWhatTheLedgerOfLedgerCfgHolds) {
  const Outcome shown = Run({"--json"});
  ASSERT_EQ(shown.status, kExitOk) << shown.err;
  const auto all = nlohmann::json::parse(shown.out);
  ASSERT_EQ(all["identities"].size(), 2u);
  EXPECT_EQ(all["identities"][0]["state"], "written");
  EXPECT_EQ(all["identities"][1]["macA"], "02-00-00-00-10-02");
  EXPECT_EQ(all["runs"][0]["uniqueId"], "UID-A");

  for (const char* key : {"UID-A", "1000", "02-00-00-00-10-01", "020000001000"}) {
    const Outcome found = Run({"--find", key});
    EXPECT_EQ(found.status, kExitOk) << key;
    EXPECT_NE(found.out.find("UID-A"), std::string::npos) << key;
    EXPECT_EQ(found.out.find("UID-B"), std::string::npos) << key;
    EXPECT_NE(found.out.find("fw.bin"), std::string::npos) << key;
  }
  EXPECT_EQ(Run({"--find", "999"}).status, kExitFailed);

  const Outcome checked = Run({"--check", "--json"});
  ASSERT_EQ(checked.status, kExitOk) << checked.err;
  const auto ranges = nlohmann::json::parse(checked.out)["ranges"];
  EXPECT_EQ(ranges[0]["written"], 1);
  EXPECT_EQ(ranges[0]["unconfirmed"][0]["uniqueId"], "UID-B");
  EXPECT_EQ(ranges[0]["free"], 8);
  EXPECT_NE(
      Run({"--check"}).out.find("1 written, 0 failed, 1 reserved but never confirmed, 8 free"),
      std::string::npos);
}

TEST_F(LedgerCommand, SendsTheStationsQueueAtContact) {
  FileLedger away(m_folder.File("nowhere/ledger.csv"));
  const RunRecord run{"r2", 14, "Platz 2", "UID-B", "fw.bin", "STM32F405", "1.2", "d"};
  ASSERT_EQ(RecordRun(away, m_folder.File("infos/LedgerQueue.csv"), run), RunRecordOutcome::Queued);
  const auto all = nlohmann::json::parse(Run({"--json"}).out);
  ASSERT_EQ(all["runs"].size(), 2u);
  EXPECT_EQ(all["runs"][1]["recordId"], "r2");
}

TEST_F(LedgerCommand, RefusesWithoutALedgerAndFailsWhenItCannotBeReached) {
  testkit::WriteFileText(m_folder.File("infos/Ledger.cfg"), "STATION x\n");
  EXPECT_EQ(Run({}).status, kExitRefused);
  testkit::WriteFileText(m_folder.File("infos/Ledger.cfg"), "LEDGER a.csv\nLEDGER b.csv\n");
  const Outcome doubtful = Run({});
  EXPECT_EQ(doubtful.status, kExitRefused);
  EXPECT_NE(doubtful.err.find("Zweiter Ort in ./Infos/Ledger.cfg bei Zeile 2"), std::string::npos);
  const Outcome away = Run({"--ledger", m_folder.File("nowhere/ledger.csv")});
  EXPECT_EQ(away.status, kExitFailed);
  EXPECT_NE(away.err.find("cannot be reached"), std::string::npos);
}

}  // namespace
}  // namespace kestrune::cli
