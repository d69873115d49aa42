#include "firmware/firmware_description.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "firmware/firmware_image.h"
#include "testkit/firmware_image_builder.h"
#include "testkit/temp_folder.h"

namespace kestrune {
namespace {

using testkit::BuildFirmwareImage;
using testkit::FirmwareImageRecipe;
using Controls = std::array<std::string, kFirmwareInfoFieldCount>;

class DescribeFirmwareTest : public ::testing::Test {
 protected:
  FirmwareDescription Describe(const std::vector<std::uint8_t>& image) {
    const std::string path = m_folder.File("fw.bin");
    testkit::WriteFileBytes(path, image);
    return DescribeFirmware(path.c_str());
  }
  testkit::TempFolder m_folder;
};

FirmwareImageRecipe WithCode(std::uint8_t code) {
  FirmwareImageRecipe recipe;
  recipe.hardwareCode = code;
  return recipe;
}

FirmwareImageRecipe WithSize(std::uint32_t size) {
  FirmwareImageRecipe recipe;
  recipe.size = size;
  return recipe;
}

TEST_F(DescribeFirmwareTest, AValidFileFillsEveryField) {
  const FirmwareDescription d = Describe(BuildFirmwareImage());
  EXPECT_EQ(d.state, FirmwareState::Valid);
  EXPECT_EQ(d.texts, (Controls{"KST-F4", "2.4.1", "Dec 10 2026 11:50:00", "44332211h  (Ok)",
                               "3  (Ok)", "CIMSIS / Cortex-M4", "48.0 kB"}));
  EXPECT_TRUE(d.logTextsReplaced);
  EXPECT_TRUE(d.reloadCountdownReset);
  EXPECT_EQ(d.deviceKind, "KST-F4");
  EXPECT_EQ(d.firmwareVersion, "2.4.1");
  EXPECT_EQ(d.firmwareDate, "Dec 10 2026 11:50:00");
}

TEST_F(DescribeFirmwareTest, TheFirstFailedTestDecidesTheStateAndEachFieldShowsItsOwn) {
  auto wrongSum = BuildFirmwareImage(WithCode(0));
  wrongSum[wrongSum.size() - 8] = 0xFE;  // padding 0xFF: one less
  const struct {
    const char* what;
    std::vector<std::uint8_t> image;
    FirmwareState state;
    std::array<int, 4> checked;  // controls 1014..1017 compared below
    Controls expected;
  } cases[] = {
      {"wrong sum, code 0",
       wrongSum,
       FirmwareState::BadChecksum,
       {1, 1, 1, 1},
       {"", "", "", "44332210h  (Error)", "0  (Error)", "RtTarget / X86", "48.0 kB"}},
      {"code 200",
       BuildFirmwareImage(WithCode(200)),
       FirmwareState::WrongHardware,
       {1, 1, 1, 0},
       {"", "", "", "44332211h  (Ok)", "200  (Error)", "Unkown", ""}},
      {"code 4",
       BuildFirmwareImage(WithCode(4)),
       FirmwareState::WrongHardware,
       {0, 1, 1, 0},
       {"", "", "", "", "4  (Error)", "FreeRTOS / RZA1", ""}},
      {"code 2",
       BuildFirmwareImage(WithCode(2)),
       FirmwareState::Valid,
       {0, 1, 1, 0},
       {"", "", "", "", "2  (Ok)", "LED-Controller", ""}},
      {"1536 bytes",
       BuildFirmwareImage(WithSize(1536)),
       FirmwareState::Valid,
       {0, 0, 0, 1},
       {"", "", "", "", "", "", "1.5 kB"}},
      {"just below 1 MiB",
       BuildFirmwareImage(WithSize(0xFFFFC)),
       FirmwareState::Valid,
       {0, 0, 0, 1},
       {"", "", "", "", "", "", "1023.9 kB"}},
      {"exactly 1 MiB",
       BuildFirmwareImage(WithSize(0x100000)),
       FirmwareState::TooLarge,
       {0, 0, 0, 1},
       {"", "", "", "", "", "", "1024.0 kB  (Error)"}},
      {"3 MiB",
       BuildFirmwareImage(WithSize(0x300000)),
       FirmwareState::TooLarge,
       {0, 0, 0, 1},
       {"", "", "", "", "", "", "3072.0 kB  (Error)"}},
  };
  for (const auto& c : cases) {
    const FirmwareDescription d = Describe(c.image);
    EXPECT_EQ(d.state, c.state) << c.what;
    for (int k = 0; k < 4; ++k) {
      if (c.checked[k]) {
        EXPECT_EQ(d.texts[3 + k], c.expected[3 + k]) << c.what;
      }
    }
  }
}

TEST_F(DescribeFirmwareTest, TheLowerOfTwoHeadersIsUsed) {
  FirmwareImageRecipe second;
  second.deviceType = "OTHER";
  auto image = BuildFirmwareImage();
  testkit::PutFirmwareHeader(image, 0x300, second);
  testkit::BalanceWordSum(image, image.size() - 4);
  const FirmwareDescription d = Describe(image);
  EXPECT_EQ(d.state, FirmwareState::Valid);
  EXPECT_EQ(d.deviceKind, "KST-F4");
}

TEST_F(DescribeFirmwareTest, HeaderTextsWithoutTerminatorsStopAtTheirFieldEnds) {
  FirmwareImageRecipe recipe;
  recipe.deviceType = "ABCDEFGHIJ";  // 8 bytes fit
  recipe.version = "1234567890";     // 7 bytes fit, then the hardware code
  recipe.date = std::string(45, 'D');
  auto image = BuildFirmwareImage(recipe);
  const FirmwareDescription d = Describe(image);
  EXPECT_EQ(d.deviceKind, "ABCDEFGH");
  EXPECT_EQ(d.firmwareVersion, "1234567");
  EXPECT_EQ(d.firmwareDate, std::string(40, 'D'));
  EXPECT_EQ(d.texts[0], "ABCDEFGH");

  // The same at the very end of a file: nothing is read beyond it.
  std::vector<std::uint8_t> tail(73, 'x');
  testkit::PutFirmwareHeader(tail, 1, recipe);
  const FirmwareDescription atEnd = Describe(tail);
  EXPECT_EQ(atEnd.state, FirmwareState::BadChecksum);
  EXPECT_EQ(atEnd.firmwareDate, std::string(40, 'D'));
}

TEST_F(DescribeFirmwareTest, WithoutAHeaderOnlyTheVerdictAndFirstFieldAreSet) {
  auto nearEnd = BuildFirmwareImage();
  nearEnd.resize(0x200 + 71);  // marker 71 bytes before the end: no header
  testkit::UnreadableFile busy(m_folder.File("busy.bin"));
  const std::string empty = m_folder.File("empty.bin");
  testkit::WriteFileBytes(empty, {});
  const std::string shortFile = m_folder.File("short.bin");
  testkit::WriteFileBytes(shortFile, std::vector<std::uint8_t>(40, '-'));
  const std::string cut = m_folder.File("cut.bin");
  testkit::WriteFileBytes(cut, nearEnd);
  const struct {
    std::string path;
    FirmwareState state;
    const char* first;
  } cases[] = {
      {empty, FirmwareState::WrongFormat, "Wrong Format"},
      {shortFile, FirmwareState::WrongFormat, "Wrong Format"},
      {cut, FirmwareState::WrongFormat, "Wrong Format"},
      {m_folder.File("busy.bin"), FirmwareState::WrongFormat, "Wrong Format"},
      {m_folder.File("missing.bin"), FirmwareState::NoFile, "---"},
      {m_folder.Path(), FirmwareState::NoFile, "---"},
      {"", FirmwareState::NoFile, "---"},
  };
  for (const auto& c : cases) {
    const FirmwareDescription d = DescribeFirmware(c.path.c_str());
    EXPECT_EQ(d.state, c.state) << c.path;
    EXPECT_EQ(d.texts, (Controls{c.first, "", "", "", "", "", ""})) << c.path;
    EXPECT_FALSE(d.logTextsReplaced);
    EXPECT_FALSE(d.reloadCountdownReset);
  }
}

TEST_F(DescribeFirmwareTest, FilesOf4GiBAndMoreAreNotTakenForTheirLow32Bits) {
  const std::string path = m_folder.File("huge.bin");
  testkit::WriteFileBytes(path, BuildFirmwareImage());
  std::filesystem::resize_file(path, 0x100000000 + 48 * 1024);  // sparse: costs no disk space
  const FirmwareDescription d = DescribeFirmware(path.c_str());
  EXPECT_EQ(d.state, FirmwareState::WrongFormat);
  EXPECT_EQ(d.texts[0], "Wrong Format");
}

TEST(FirmwareState, NamesMatchTheValues) {
  const char* names[] = {"NoFile",        "WrongFormat", "BadChecksum",
                         "WrongHardware", "TooLarge",    "Valid"};
  for (int k = 0; k < 6; ++k) {
    EXPECT_STREQ(FirmwareStateName(static_cast<FirmwareState>(k)), names[k]);
  }
}

}  // namespace
}  // namespace kestrune
