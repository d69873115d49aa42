#include "ledger/ledger_config.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "testkit/temp_folder.h"

namespace kestrune {
namespace {

const std::string kWhereWarning = "Falscher Ort in ./Infos/Ledger.cfg bei Zeile ";
const std::string kSecondWarning = "Zweiter Ort in ./Infos/Ledger.cfg bei Zeile ";
const std::string kStationWarning = "Falscher Stationsname in ./Infos/Ledger.cfg bei Zeile ";

TEST(LedgerConfig, ReadsTheLocationAndStationAndWarnsOfBadLines) {
  const struct {
    const char* text;
    const char* where;
    const char* station;
    bool usable;
    std::vector<std::string> warnings;
  } cases[] = {
      {"# line 3\r\nLEDGER \\\\srv\\line\\ledger.csv\r\nSTATION Platz-2\r\n",
       "\\\\srv\\line\\ledger.csv",
       "Platz-2",
       true,
       {}},
      {"LEDGER \"/mnt/line share/ledger.csv\" trailing words\nSTATION \"Platz 7\"",
       "/mnt/line share/ledger.csv",
       "Platz 7",
       true,
       {}},
      {"LEDGER postgresql://kestrune@db.line/ledger?sslmode=require\n",
       "postgresql://kestrune@db.line/ledger?sslmode=require",
       "",
       true,
       {}},
      {"ledger /x\nRANGE 00-11-22-33-44-55 10 1\n\n; comment\n", "", "", true, {}},
      {"LEDGER\nSTATION x\n", "", "x", false, {kWhereWarning + "1"}},
      {"LEDGER ,/x\n", "", "", false, {kWhereWarning + "1"}},
      {"LEDGER /a\nSTATION\nLEDGER /b\n",
       "/a",
       "",
       false,
       {kStationWarning + "2", kSecondWarning + "3"}},
  };
  for (const auto& c : cases) {
    testkit::TempFolder folder;
    const std::string path = folder.File("Ledger.cfg");
    testkit::WriteFileText(path, c.text);
    const LedgerConfig config = LoadLedgerConfig(path);
    SCOPED_TRACE(c.text);
    EXPECT_TRUE(config.present);
    EXPECT_EQ(config.where, c.where);
    EXPECT_EQ(config.station, c.station);
    EXPECT_EQ(config.usable, c.usable);
    std::vector<std::string> texts;
    for (const OperatorMessage& w : config.warnings) {
      EXPECT_EQ(w.caption, "Warnung");
      texts.push_back(w.text);
    }
    EXPECT_EQ(texts, c.warnings);
  }
}

TEST(LedgerConfig, NoFileMeansNoLedger) {
  testkit::TempFolder folder;
  const LedgerConfig config = LoadLedgerConfig(folder.File("Ledger.cfg"));
  EXPECT_FALSE(config.present);
  EXPECT_EQ(ChooseLedgerLocation(std::nullopt, nullptr, config, folder.Path()), std::nullopt);
  EXPECT_EQ(ChooseLedgerLocation(std::string(), "", config, folder.Path()), std::nullopt);
}

TEST(LedgerConfig, TheCommandLineGoesBeforeTheEnvironmentBeforeTheFile) {
  LedgerConfig config;
  config.where = "file.csv";
  const std::string infos = std::filesystem::absolute("Infos").string();
  const std::string absolute = std::filesystem::absolute("elsewhere/x.csv").string();
  EXPECT_EQ(ChooseLedgerLocation(absolute, "env.csv", config, infos), absolute);
  EXPECT_EQ(ChooseLedgerLocation("here.csv", "env.csv", config, infos), "here.csv");
  EXPECT_EQ(ChooseLedgerLocation(std::nullopt, "env.csv", config, infos), "env.csv");
  EXPECT_EQ(ChooseLedgerLocation(std::nullopt, "postgresql://h/db", config, infos),
            "postgresql://h/db");
  EXPECT_EQ(ChooseLedgerLocation(std::nullopt, nullptr, config, infos),
            (std::filesystem::path(infos) / "file.csv").string());
}

}  // namespace
}  // namespace kestrune
