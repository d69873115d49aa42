#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "testkit/firmware_image_builder.h"
#include "testkit/temp_folder.h"

namespace kestrune::cli {
namespace {

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

std::string Contents(std::FILE* file) {
  std::string text;
  std::rewind(file);
  for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
  std::fclose(file);
  return text;
}

Outcome RunCli(const std::vector<std::string>& argv) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  const int status = Main(argv, out, err);
  return {status, Contents(out), Contents(err)};
}

TEST(Describe, PrintsTheFirmwareInfosInDialogOrderAsUtf8) {
  testkit::TempFolder folder;
  testkit::FirmwareImageSpec spec;
  spec.deviceType = "Ger\xe4t";  // Windows-1252 in the header
  const std::string path = folder.File("fw.bin");
  testkit::WriteFileBytes(path, testkit::BuildFirmwareImage(spec));
  const Outcome outcome = RunCli({"describe", path});
  EXPECT_EQ(outcome.status, kExitOk);
  EXPECT_EQ(outcome.out,
            "Ger\xc3\xa4teart : Ger\xc3\xa4t\n"
            "Version : 2.4.1\n"
            "Datum : Dec 10 2026 11:50:00\n"
            "Checksumme : 44332211h  (Ok)\n"
            "Hardware-ID : 3  (Ok)\n"
            "OS/CPU : CIMSIS / Cortex-M4\n"
            "File-Size : 48.0 kB\n"
            "FirmwareState : 5 Valid\n");
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

  const Outcome missing = RunCli({"describe", folder.File("missing.bin")});
  EXPECT_EQ(missing.status, kExitFailed);
  EXPECT_EQ(missing.out,
            "Ger\xc3\xa4teart : ---\nVersion :\nDatum :\nChecksumme :\nHardware-ID :\nOS/CPU :\n"
            "File-Size :\nFirmwareState : 0 NoFile\n");
}

TEST(Describe, NeedsExactlyOneFile) {
  for (const auto& argv :
       std::vector<std::vector<std::string>>{{"describe"}, {"describe", "a", "b"}}) {
    const Outcome outcome = RunCli(argv);
    EXPECT_EQ(outcome.status, kExitUsage);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, "usage: kestrune describe FILE\n");
  }
}

}  // namespace
}  // namespace kestrune::cli
