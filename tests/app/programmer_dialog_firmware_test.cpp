// The firmware side of the dialog: when a path is described again, and how OK judges the file.

#include <gtest/gtest.h>

#include "app/control_ids.h"
#include "app/dialog_fixture.h"
#include "testkit/firmware_image_builder.h"
#include "testkit/temp_folder.h"

namespace kestrune {
namespace {

constexpr const char* kDevice =
    "\\\\?\\usb#vid_0483&pid_df11#1#{3fe809ab-fb91-4cb5-a643-69670d52366e}";

class DialogFirmwareTest : public DialogTest {
 protected:
  int Descriptions() const { return static_cast<int>(window.TextHistory(kIdFirmwareKind).size()); }
  std::string Image(const char* name, const testkit::FirmwareImageRecipe& recipe) {
    const std::string path = folder.File(name);
    testkit::WriteFileBytes(path, testkit::BuildFirmwareImage(recipe));
    return path;
  }
  testkit::TempFolder folder;
};

TEST_F(DialogFirmwareTest, TypingDescribesOnTheFifthTickAfterTheLastKeystroke) {
  bus.paths = {kDevice};
  Start();
  ASSERT_EQ(Descriptions(), 1);
  dialog->OnFirmwarePathEdited();
  Ticks(3);
  dialog->OnFirmwarePathEdited();  // a new keystroke starts the countdown again
  Ticks(4);
  EXPECT_EQ(Descriptions(), 1);
  Ticks(1);
  EXPECT_EQ(Descriptions(), 2);
  Ticks(10);
  EXPECT_EQ(Descriptions(), 2);
  dialog->OnFirmwarePathPicked();
  Ticks(1);
  EXPECT_EQ(Descriptions(), 3);
}

TEST_F(DialogFirmwareTest, ATickThatEnumeratesDoesNotCountDown) {
  Start();  // no device: the 21st tick enumerates
  Ticks(17);
  dialog->OnFirmwarePathEdited();
  Ticks(5);  // the fourth of them enumerates
  EXPECT_EQ(bus.Enumerations(), 2);
  EXPECT_EQ(Descriptions(), 1);
  Ticks(1);
  EXPECT_EQ(Descriptions(), 2);
}

TEST_F(DialogFirmwareTest, OkRefusesFilesThatFailTheirChecksAndStartsTooLargeOnes) {
  struct Case {
    const char* name;
    testkit::FirmwareImageRecipe recipe;
    bool plainFile;       // no header at all
    const char* refusal;  // null: the run starts
  };
  const Case cases[] = {
      {"plain.bin", {}, true, "Es ist keine gültige Firmware-Datei ausgewählt !"},
      {"sum.bin", {.balanced = false}, false, "Die Firmware-Datei hat eine falsche Checksumme !"},
      {"x86.bin",
       {.hardwareCode = 0},
       false,
       "Die Firmware-Datei ist nicht für eine Cortext-M4-Hardware geeignet !"},
      {"large.bin", {.size = 0x100000}, false, nullptr},
      {"good.bin", {}, false, nullptr},
  };
  bus.paths = {kDevice};
  Start();
  for (const Case& c : cases) {
    const std::string path = folder.File(c.name);
    if (c.plainFile) {
      testkit::WriteFileBytes(path, std::vector<std::uint8_t>(4096, 0x5A));
    } else {
      Image(c.name, c.recipe);
    }
    window.SetControlText(kIdFirmwarePath, path);
    dialog->DescribeFirmware();
    window.messageBoxes.clear();
    const int runsBefore = runs.load();
    dialog->OnOK();
    if (c.refusal != nullptr) {
      ASSERT_EQ(window.messageBoxes.size(), 1u) << c.name;
      EXPECT_EQ(window.messageBoxes[0].text, c.refusal);
      EXPECT_EQ(window.messageBoxes[0].icon, MessageIcon::Stop);
      EXPECT_FALSE(dialog->Busy());
    } else {
      EXPECT_TRUE(window.messageBoxes.empty()) << c.name;
      ASSERT_TRUE(PumpUntilFinished());
      EXPECT_EQ(runs.load(), runsBefore + 1);
      EXPECT_EQ(inputs.firmwarePath, path);
      EXPECT_EQ(inputs.deviceKind, "KST-F4");
    }
  }
}

TEST_F(DialogFirmwareTest, OkJudgesATypedPathByTheLastDescription) {
  bus.paths = {kDevice};
  Start();
  const std::string good = Image("good.bin", {});
  window.SetControlText(kIdFirmwarePath, good);
  dialog->DescribeFirmware();
  // Typed and confirmed before the countdown ran out: the run gets the new path.
  window.SetControlText(kIdFirmwarePath, folder.File("missing.bin"));
  dialog->OnFirmwarePathEdited();
  dialog->OnOK();
  EXPECT_TRUE(window.messageBoxes.empty());
  ASSERT_TRUE(PumpUntilFinished());
  EXPECT_EQ(inputs.firmwarePath, folder.File("missing.bin"));
}

// Start-up decorates the browse button and attaches file drop before it loads the history; the
// remembered path is described at once, and a run that starts stores it first.
TEST_F(DialogFirmwareTest, TheHistoryIsLoadedAtStartAndStoredWhenARunStarts) {
  bus.paths = {kDevice};
  const std::string good = Image("good.bin", {});
  frontEnd.stored = PathHistory{good, {good, "older.bin"}};
  Start();
  EXPECT_EQ(frontEnd.log, (std::vector<std::string>{"decorate 1001", "attach 1000", "load"}));
  EXPECT_EQ(window.Text(kIdFirmwarePath), good);
  EXPECT_EQ(dialog->FirmwareVerdict(), FirmwareState::Valid);

  const std::string other = Image("other.bin", {});
  window.SetControlText(kIdFirmwarePath, other);
  dialog->DescribeFirmware();
  dialog->OnOK();
  ASSERT_TRUE(PumpUntilFinished());
  ASSERT_TRUE(frontEnd.stored.has_value());
  EXPECT_EQ(frontEnd.stored->items, (std::vector<std::string>{other, good, "older.bin"}));
  EXPECT_EQ(window.comboItems[kIdFirmwarePath], frontEnd.stored->items);
}

TEST_F(DialogFirmwareTest, BrowsingDescribesTheChosenFileAtOnce) {
  Start();
  window.chosenFile = Image("chosen.bin", {.deviceType = "KST-X"});
  dialog->OnBrowse();
  EXPECT_EQ(window.Text(kIdFirmwareKind), "KST-X");
  EXPECT_EQ(dialog->FirmwareVerdict(), FirmwareState::Valid);
  EXPECT_EQ(dialog->ControlColour(kIdFirmwareKind), ColourScheme::Good);
}

}  // namespace
}  // namespace kestrune
