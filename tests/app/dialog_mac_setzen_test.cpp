// "MAC setzen" in the main window: the range files at start-up, the button, and a whole
// assignment on the simulated device that the next discovery shows.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "app/control_ids.h"
#include "app/programmer_dialog.h"
#include "app/run_commands.h"
#include "ledger/file_ledger.h"
#include "sim/sim_bench.h"
#include "testkit/firmware_image_builder.h"
#include "testkit/recording_window.h"
#include "testkit/temp_folder.h"
#include "usb/usb_stdfu.h"

namespace kestrune {
namespace {

using testing::ElementsAre;

class DialogMacSetzen : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(m_folder.File("Infos"));
    ASSERT_TRUE(m_bench.AddDevice(DefaultSimDevice("")).device);
  }
  void WriteInfos(const char* list, const char* next) {
    if (list) testkit::WriteFileText(m_folder.File("Infos/MacList.cfg"), list);
    if (next) testkit::WriteFileText(m_folder.File("Infos/NextSerial.cfg"), next);
  }
  void Start() {
    DialogServices services{
        m_stdfu, m_bench, m_clock, m_folder.File("Infos"),
        [](RunEvents& events, const RunControl&, const JobInputs&) { events.Finished({}); }};
    services.runSerialNumberDialog = [this](SerialNumberDialog& dialog) {
      ++m_dialogs;
      dialog.OnInitDialog();
      if (m_whileDialogOpen) m_whileDialogOpen(dialog);
      return m_dialogAnswer;
    };
    m_dialog = std::make_unique<ProgrammerDialog>(m_window, std::move(services));
    ASSERT_TRUE(m_dialog->OnInitDialog());
  }
  std::vector<std::string> Boxes() const {
    std::vector<std::string> texts;
    for (const auto& box : m_window.messageBoxes) texts.push_back(box.caption + ": " + box.text);
    return texts;
  }

  testkit::TempFolder m_folder;
  VirtualClock m_clock;
  SimBench m_bench{m_clock};
  UsbStdfuLibrary m_stdfu{m_bench, m_clock};
  testkit::RecordingWindow m_window;
  std::unique_ptr<ProgrammerDialog> m_dialog;
  int m_dialogs = 0;
  bool m_dialogAnswer = true;
  // What the operator does in the main window while the serial-number dialog is open.
  std::function<void(SerialNumberDialog&)> m_whileDialogOpen;
};

TEST_F(DialogMacSetzen, StartUpWarnsInOrderAndHidesTheButtonForAnUnusableList) {
  WriteInfos(
      "RANGE 02-00-00-00-01-00 10 0\n"
      "RANGE 02-00-00-00-00-00 10 5\n"
      "RANGE 02-00-00-00-02-00 0 50\n",
      "77\n");
  Start();
  EXPECT_THAT(Boxes(),
              ElementsAre("Warnung: Falsche Anzahl in ./Infos/MacList.cfg bei Zeile 3",
                          "Warnung: Die Seriennummern in ./Infos/MacList.cfg bei Zeile 2 und 1 "
                          "überlappen sich !",
                          "Warnung: Die Seriennummern in ./Infos/NextSerial.cfg ist außerhalb der "
                          "Bereiche aus ./Infos/MacList.cfg !"));
  EXPECT_FALSE(m_window.Shown(kIdMacSetzen));
}

TEST_F(DialogMacSetzen, TwoDevicesAreRefusedAsOKRefusesThemBeforeAnyQuestion) {
  SimDeviceConfig second = DefaultSimDevice("");
  second.uniqueId[11] = 0x37;
  ASSERT_TRUE(m_bench.AddDevice(second).device);
  WriteInfos("RANGE 02-4B-53-00-00-00 1000 100000\n", "100002\n");
  Start();
  m_dialog->OnCommand(kIdMacSetzen);
  EXPECT_EQ(m_dialogs, 0);
  EXPECT_THAT(Boxes(), ElementsAre("Fehler: Es ist mehr als ein Cortex-M4 Gerät via USB "
                                   "angeschlossen !\n\nBitte alle Geräte die nicht geflasht "
                                   "werden sollen."));
  EXPECT_EQ(m_bench.Peek(0, 2, 0x1FFF7800, 512), std::vector<std::uint8_t>(512, 0xFF));
  EXPECT_EQ(m_bench.Peek(1, 2, 0x1FFF7800, 512), std::vector<std::uint8_t>(512, 0xFF));
}

TEST_F(DialogMacSetzen, WritesTheIdentityThatTheNextTickShows) {
  WriteInfos("RANGE 02-4B-53-00-00-00 1000 100000\n", "100002\n");
  Start();
  EXPECT_TRUE(m_window.messageBoxes.empty());
  EXPECT_TRUE(m_window.Shown(kIdMacSetzen));
  EXPECT_EQ(m_window.Text(kIdSerialNumber), "Nicht programmiert");

  m_dialog->OnCommand(kIdMacSetzen);
  EXPECT_EQ(m_dialogs, 1);
  EXPECT_TRUE(m_window.messageBoxes.empty());
  EXPECT_EQ(m_window.Text(kIdSerialNumber), "Nicht programmiert");  // shown after the rescan
  m_dialog->OnTimer(ID_POLL_TIMER);
  EXPECT_EQ(m_window.Text(kIdSerialNumber), "100002");
  EXPECT_EQ(m_window.Text(kIdMacA), "02-4B-53-00-00-04");
  EXPECT_EQ(m_window.Text(kIdMacB), "02-4B-53-00-00-05");

  // Again: the replacement question (refused by default), then with Yes the same number is
  // already in the device.
  m_dialog->OnCommand(kIdMacSetzen);
  m_window.answers = {MessageResult::Yes};
  m_dialog->OnCommand(kIdMacSetzen);
  EXPECT_THAT(Boxes(),
              ElementsAre("Warnung: Das Gerät hat bereits eine Seriennummer !\n\nSoll diese "
                          "ersetzt werden ?",
                          "Warnung: Das Gerät hat bereits eine Seriennummer !\n\nSoll diese "
                          "ersetzt werden ?",
                          "Information: Diese Seriennummer ist bereits im Gerät !"));
  EXPECT_EQ(m_dialogs, 2);
}

TEST_F(DialogMacSetzen, ASecondClickBeforeTheNextTickSeesTheWrittenBlock) {
  WriteInfos("RANGE 02-4B-53-00-00-00 1000 100000\n", nullptr);
  Start();
  m_dialog->OnCommand(kIdMacSetzen);
  m_window.answers = {MessageResult::Yes};
  m_dialog->OnCommand(kIdMacSetzen);
  EXPECT_THAT(Boxes(),
              ElementsAre("Warnung: Das Gerät hat bereits eine Seriennummer !\n\nSoll diese "
                          "ersetzt werden ?",
                          "Information: Diese Seriennummer ist bereits im Gerät !"));
  EXPECT_EQ(m_bench.Peek(0, 2, 0x1FFF7840, 32), std::vector<std::uint8_t>(32, 0xFF));
}

// The serial-number dialog has no owner, so the main window stays usable while it is open: a run
// started from there owns the device, and the OTP block must not be written beside it.
TEST_F(DialogMacSetzen, ARunStartedWhileTheDialogIsOpenKeepsTheDeviceToItself) {
  WriteInfos("RANGE 02-4B-53-00-00-00 1000 100000\n", nullptr);
  Start();
  const std::string firmware = m_folder.File("firmware.bin");
  testkit::WriteFileBytes(firmware, testkit::BuildFirmwareImage());
  m_window.SetControlText(kIdFirmwarePath, firmware);
  m_dialog->DescribeFirmware();
  m_whileDialogOpen = [this](SerialNumberDialog&) {
    m_dialog->OnOK();
    ASSERT_TRUE(m_dialog->Busy());
  };
  m_dialog->OnCommand(kIdMacSetzen);
  EXPECT_EQ(m_dialogs, 1);
  EXPECT_EQ(m_bench.Peek(0, 2, 0x1FFF7820, 32), std::vector<std::uint8_t>(32, 0xFF));
  EXPECT_TRUE(m_window.Pump(*m_dialog, ID_RUN_FINISHED));
}

// A second "MAC setzen" while the first one's dialog is open writes block 1; the first one then
// chooses its block from a copy of the OTP area that no longer holds, and must not write block 1
// again (OTP bits only ever clear, so that would garble it).
TEST_F(DialogMacSetzen, AnAssignmentMadeWhileTheDialogIsOpenIsNotOverwritten) {
  WriteInfos("RANGE 02-4B-53-00-00-00 1000 100000\n", nullptr);
  Start();
  m_whileDialogOpen = [this](SerialNumberDialog&) {
    m_whileDialogOpen = nullptr;
    m_dialog->OnCommand(kIdMacSetzen);
  };
  m_window.answers = {MessageResult::Yes};
  m_dialog->OnCommand(kIdMacSetzen);
  EXPECT_EQ(m_dialogs, 2);
  EXPECT_THAT(Boxes(), ElementsAre("Warnung: Das Gerät hat bereits eine Seriennummer !\n\nSoll "
                                   "diese ersetzt werden ?",
                                   "Information: Diese Seriennummer ist bereits im Gerät !"));
  const std::vector<std::uint8_t> block1 = m_bench.Peek(0, 2, 0x1FFF7820, 32);
  EXPECT_EQ(std::vector<std::uint8_t>(block1.begin(), block1.begin() + 8),
            (std::vector<std::uint8_t>{0x02, 0x4B, 0x53, 0x00, 0x00, 0x00, 0x7A, 0x85}));
  EXPECT_EQ(m_bench.Peek(0, 2, 0x1FFF7840, 32), std::vector<std::uint8_t>(32, 0xFF));
}

// The same with another number: the device has an identity now, so the replacement question
// comes before anything is written (and the refusing default writes nothing).
TEST_F(DialogMacSetzen, AnIdentityGainedWhileTheDialogIsOpenIsAskedAbout) {
  WriteInfos("RANGE 02-4B-53-00-00-00 1000 100000\n", nullptr);
  Start();
  m_whileDialogOpen = [this](SerialNumberDialog& outer) {
    m_whileDialogOpen = nullptr;
    m_dialog->OnCommand(kIdMacSetzen);
    outer.OnSerialChanged("100001");
  };
  m_dialog->OnCommand(kIdMacSetzen);
  EXPECT_THAT(Boxes(), ElementsAre("Warnung: Das Gerät hat bereits eine Seriennummer !\n\nSoll "
                                   "diese ersetzt werden ?"));
  EXPECT_EQ(m_bench.Peek(0, 2, 0x1FFF7840, 32), std::vector<std::uint8_t>(32, 0xFF));
}

// The record lands, but every read-back of it fails: the operator is told the write failed and
// tries again. The device holds the record already, so the retry writes nothing.
TEST_F(DialogMacSetzen, ARetryAfterAWriteThatLandedButFailedItsReadBackWritesNothing) {
  WriteInfos("RANGE 02-4B-53-00-00-00 1000 100000\n", nullptr);
  Start();
  SimFault lostReadBack;
  lostReadBack.action = SimFaultAction::Fail;
  lostReadBack.request = SimRequest::Upload;
  lostReadBack.nth = m_bench.RequestCounts(0)[static_cast<std::size_t>(SimRequest::Upload)] + 1;
  lostReadBack.count = 4;  // each try of the read-back's one block
  m_bench.AddFault(0, lostReadBack);
  m_dialog->OnCommand(kIdMacSetzen);
  const std::vector<std::uint8_t> block1 = m_bench.Peek(0, 2, 0x1FFF7820, 32);
  ASSERT_EQ(std::vector<std::uint8_t>(block1.begin(), block1.begin() + 8),
            (std::vector<std::uint8_t>{0x02, 0x4B, 0x53, 0x00, 0x00, 0x00, 0x7A, 0x85}));

  m_window.answers = {MessageResult::Yes};
  m_dialog->OnCommand(kIdMacSetzen);
  EXPECT_THAT(Boxes(), ElementsAre("Fehler: Fehler beim Prüfen !",
                                   "Warnung: Das Gerät hat bereits eine Seriennummer !\n\nSoll "
                                   "diese ersetzt werden ?",
                                   "Information: Diese Seriennummer ist bereits im Gerät !"));
  EXPECT_EQ(m_dialogs, 2);
  EXPECT_EQ(m_bench.Peek(0, 2, 0x1FFF7820, 32), block1);
  EXPECT_EQ(m_bench.Peek(0, 2, 0x1FFF7840, 32), std::vector<std::uint8_t>(32, 0xFF));
}

TEST_F(DialogMacSetzen, WithALedgerTheProposalMovesOnAndTheLedgerKnowsTheDevice) {
  WriteInfos("RANGE 02-4B-53-00-00-00 1000 100000\n", "100002\n");
  testkit::WriteFileText(m_folder.File("Infos/Ledger.cfg"), "LEDGER ledger.csv\nSTATION P1\n");
  std::vector<std::int32_t> proposals;
  m_whileDialogOpen = [&proposals](SerialNumberDialog& dialog) {
    proposals.push_back(dialog.m_serial);
  };
  Start();
  m_dialog->OnCommand(kIdMacSetzen);
  m_dialog->OnTimer(ID_POLL_TIMER);
  EXPECT_EQ(m_window.Text(kIdSerialNumber), "100002");
  m_window.answers = {MessageResult::Yes};
  m_dialog->OnCommand(kIdMacSetzen);
  EXPECT_THAT(proposals, ElementsAre(100002, 100003));

  LedgerContents contents;
  ASSERT_EQ(FileLedger(m_folder.File("Infos/ledger.csv")).Read(contents), LedgerStatus::Ok);
  ASSERT_EQ(contents.identities.size(), 2u);
  EXPECT_EQ(contents.identities[0].identity.uniqueId, m_window.Text(kIdUniqueId));
  EXPECT_EQ(contents.identities[0].station, "P1");
  EXPECT_EQ(contents.identities[1].state, ReservationState::Written);

  // Another station took the next number meanwhile: the operator's own choice of it is refused
  // in a box, and nothing is written.
  ASSERT_EQ(FileLedger(m_folder.File("Infos/ledger.csv"))
                .Reserve({100004, 0x024B53000008, 0x024B53000009, "OTHER"}, "P2", 1),
            LedgerStatus::Ok);
  m_whileDialogOpen = [](SerialNumberDialog& dialog) { dialog.OnSerialChanged("100004"); };
  m_window.messageBoxes.clear();
  m_window.answers = {MessageResult::Yes};
  m_dialog->OnCommand(kIdMacSetzen);
  ASSERT_EQ(m_window.messageBoxes.size(), 2u);
  EXPECT_EQ(m_window.messageBoxes[1].caption, "Fehler");
  EXPECT_EQ(m_window.messageBoxes[1].icon, MessageIcon::Stop);
  EXPECT_THAT(m_window.messageBoxes[1].text,
              testing::StartsWith("Die Seriennummer 100004 ist bereits für das Gerät OTHER"));
  EXPECT_EQ(m_bench.Peek(0, 2, 0x1FFF7860, 32), std::vector<std::uint8_t>(32, 0xFF));
}

// Another station reserves the proposal while the dialog is open: the operator is told and shown
// the next free number, which is written.
TEST_F(DialogMacSetzen, AProposalTakenMeanwhileIsProposedAnew) {
  WriteInfos("RANGE 02-4B-53-00-00-00 1000 100000\n", "100002\n");
  testkit::WriteFileText(m_folder.File("Infos/Ledger.cfg"), "LEDGER ledger.csv\n");
  std::vector<std::int32_t> proposals;
  m_whileDialogOpen = [this, &proposals](SerialNumberDialog& dialog) {
    proposals.push_back(dialog.m_serial);
    if (proposals.size() > 1) return;
    ASSERT_EQ(FileLedger(m_folder.File("Infos/ledger.csv"))
                  .Reserve({100002, 0x024B53000004, 0x024B53000005, "OTHER"}, "P2", 1),
              LedgerStatus::Ok);
  };
  Start();
  m_dialog->OnCommand(kIdMacSetzen);
  EXPECT_THAT(proposals, ElementsAre(100002, 100003));
  EXPECT_THAT(Boxes(), ElementsAre("Warnung: Die Seriennummer 100002 wurde inzwischen an einer "
                                   "anderen Station vergeben: die nächste freie wird "
                                   "vorgeschlagen."));
  const std::vector<std::uint8_t> block1 = m_bench.Peek(0, 2, 0x1FFF7820, 32);
  EXPECT_EQ(std::vector<std::uint8_t>(block1.begin(), block1.begin() + 6),
            (std::vector<std::uint8_t>{0x02, 0x4B, 0x53, 0x00, 0x00, 0x06}));
}

TEST_F(DialogMacSetzen, ALedgerCfgInDoubtIsSaidAtStartAndAssignsNothing) {
  WriteInfos("RANGE 02-4B-53-00-00-00 1000 100000\n", "100002\n");
  testkit::WriteFileText(m_folder.File("Infos/Ledger.cfg"), "LEDGER a.csv\nLEDGER b.csv\n");
  Start();
  m_dialog->OnCommand(kIdMacSetzen);
  const std::string refusal =
      "Fehler: ./Infos/Ledger.cfg nennt kein eindeutiges Ledger: es wird keine Seriennummer "
      "vergeben und kein Lauf eingetragen !";
  EXPECT_THAT(Boxes(), ElementsAre("Warnung: Zweiter Ort in ./Infos/Ledger.cfg bei Zeile 2",
                                   refusal, refusal));
  EXPECT_EQ(m_dialogs, 0);
  EXPECT_EQ(m_bench.Peek(0, 2, 0x1FFF7820, 32), std::vector<std::uint8_t>(32, 0xFF));
}

TEST_F(DialogMacSetzen, AnEmptyListShowsTheButtonButRefusesTheAssignment) {
  WriteInfos("# no ranges yet\n", nullptr);
  Start();
  EXPECT_TRUE(m_window.Shown(kIdMacSetzen));
  m_window.messageBoxes.clear();
  m_dialog->OnCommand(kIdMacSetzen);
  EXPECT_THAT(Boxes(), ElementsAre("Warnung: In ./Infos/MacList.cfg ist kein gültiger Bereich "
                                   "eingetragen !"));
  EXPECT_EQ(m_dialogs, 0);
}

}  // namespace
}  // namespace kestrune
