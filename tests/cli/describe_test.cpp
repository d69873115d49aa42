#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "testkit/cli_outcome.h"
#include "testkit/firmware_image_builder.h"
#include "testkit/temp_folder.h"

namespace kestrune::cli {
namespace {

using Outcome = testkit::CliOutcome;
constexpr auto RunCli = testkit::RunKestrune;

TEST(Describe, PrintsTheFirmwareInfosInDialogOrderAsUtf8) {
  testkit::TempFolder folder;
  testkit::FirmwareImageRecipe recipe;
  recipe.deviceType = "Ger\xe4t";  // Windows-1252 in the header
  const std::string path = folder.File("fw.bin");
  testkit::WriteFileBytes(path, testkit::BuildFirmwareImage(recipe));
  const Outcome outcome = RunCli({"describe", path});
  EXPECT_EQ(outcome.status, kExitOk);
  EXPECT_EQ(outcome.out, testkit::Utf8(u8"Geräteart : Gerät\n"
                                       u8"Version : 2.4.1\n"
                                       u8"Datum : Dec 10 2026 11:50:00\n"
                                       u8"Checksumme : 44332211h  (Ok)\n"
                                       u8"Hardware-ID : 3  (Ok)\n"
                                       u8"OS/CPU : CIMSIS / Cortex-M4\n"
                                       u8"File-Size : 48.0 kB\n"
                                       u8"FirmwareState : 5 Valid\n"));
  EXPECT_EQ(outcome.err, "");
}

TEST(Describe, EveryOtherStateFails) {
  testkit::TempFolder folder;
  auto image = testkit::BuildFirmwareImage();
  image.back() ^= 0x10;
  const std::string bad = folder.File("bad.bin");
  testkit::WriteFileBytes(bad, image);
  const Outcome wrongSum = RunCli({"describe", bad});
  EXPECT_EQ(wrongSum.status, kExitFailed);
  EXPECT_NE(wrongSum.out.find("  (Error)\n"), std::string::npos);
  EXPECT_TRUE(wrongSum.out.ends_with("FirmwareState : 2 BadChecksum\n")) << wrongSum.out;
}

// A file that cannot be read is refused with the reason, not described as "no file".
TEST(Describe, AMissingOrUnreadableFileIsRefusedWithTheReason) {
  testkit::TempFolder folder;
  const Outcome missing = RunCli({"describe", folder.File("missing.bin")});
  EXPECT_EQ(missing.status, kExitRefused);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err, "kestrune: cannot read firmware file '" + folder.File("missing.bin") +
                             "': No such file or directory\n");

  const Outcome folderGiven = RunCli({"describe", folder.Path()});
  EXPECT_EQ(folderGiven.status, kExitRefused);
  EXPECT_THAT(folderGiven.err, testing::EndsWith("': is a folder\n"));

  const Outcome json = RunCli({"describe", "--json", folder.File("missing.bin")});
  EXPECT_EQ(json.status, kExitRefused);
  const auto document = nlohmann::json::parse(json.out);
  EXPECT_EQ(document["valid"], false);
  EXPECT_THAT(document["error"].get<std::string>(), testing::HasSubstr("No such file"));
}

TEST(Describe, JsonHoldsTheFieldsAndTheVerdict) {
  testkit::TempFolder folder;
  const std::string path = folder.File("fw.bin");
  testkit::WriteFileBytes(path, testkit::BuildFirmwareImage());
  const Outcome outcome = RunCli({"describe", path, "--json"});
  EXPECT_EQ(outcome.status, kExitOk);
  const auto document = nlohmann::json::parse(outcome.out);
  EXPECT_EQ(document["valid"], true);
  EXPECT_EQ(document["state"], 5);
  EXPECT_EQ(document["version"], "2.4.1");
  EXPECT_EQ(document["osCpu"], "CIMSIS / Cortex-M4");
}

}  // namespace
}  // namespace kestrune::cli
