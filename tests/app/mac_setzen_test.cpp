#include "app/mac_setzen.h"
#include "app/window_identity_operator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "device/enumerate.h"
#include "app/identity_display.h"
#include "serials/identity_assignment.h"
#include "serials/mac_range.h"
#include "sim/sim_bench.h"
#include "testkit/recording_window.h"
#include "usb/usb_stdfu.h"

namespace kestrune {
namespace {

std::uint32_t FixedNow() {
  return 1400334309;
}

// Every request of `kind` from now on fails.
SimFault Failing(SimRequest kind) {
  SimFault fault;
  fault.action = SimFaultAction::Fail;
  fault.request = kind;
  fault.count = 1000;
  return fault;
}

SimFault Corrupting(std::uint32_t address) {
  SimFault fault;
  fault.action = SimFaultAction::Corrupt;
  fault.address = address;
  fault.xorMask = 0x10;
  return fault;
}

const char* const kReplace =
    "Das Gerät hat bereits eine Seriennummer !\n\nSoll diese ersetzt werden ?";
const char* const kOutside =
    "Die aktuelle Seriennummer ist außerhalb des Bereiches aus ./Infos/MacList.cfg !";

// One simulated device on its bench, reached through the DFU library over USB, with the state
// that the dialog keeps from its last discovery.
class MacSetzenTest : public testing::Test {
 protected:
  void SetUp() override {
    m_ranges.Configure(sizeof(MacRange), -1);
    const MacRange range{0x02AB00000000, 1000, 500000, 1};
    m_ranges.Insert(&range, 0x7FFFFFFF, 1);
    NewBench();
  }
  // A fresh bench with one default device, discovered.
  void NewBench() {
    m_stdfu.reset();
    m_bench = std::make_unique<SimBench>(m_clock);
    m_stdfu = std::make_unique<UsbStdfuLibrary>(*m_bench, m_clock);
    AddDevice(DefaultSimDevice(""));
  }
  void AddDevice(SimDeviceConfig config) {
    config.timing = InstantTiming();
    ASSERT_TRUE(m_bench->AddDevice(std::move(config)).device.has_value());
    Discover();
  }
  void Discover() {
    Discovery found = Enumerate(*m_stdfu, *m_bench, m_clock);
    m_devicePath = found.devicePath;
    m_identityState = found.identityState;
    if (found.otpImage) m_otpImage = *found.otpImage;
  }
  MacSetzenResult Run() {
    MacSetzenState state{m_ranges,   m_nextSerial, m_identityState,  m_devicePath,
                         m_otpImage, m_shared,     m_rescanRequested};
    WindowIdentityOperator asker(m_window, m_runner);
    const MacSetzenServices services{asker, *m_stdfu, m_clock, {}, FixedNow, UtcCalendar};
    return MacSetzen(services, state);
  }
  std::vector<std::string> Boxes() const {
    std::vector<std::string> texts;
    for (const auto& box : m_window.messageBoxes) texts.push_back(box.caption + ": " + box.text);
    return texts;
  }
  std::vector<std::uint8_t> OtpBlockOnDevice(std::uint32_t block) {
    return m_bench->Peek(0, kOtpAlternate, kOtpAddress + kOtpBlockSize * block, kOtpBlockSize);
  }

  VirtualClock m_clock;
  std::unique_ptr<SimBench> m_bench;
  std::unique_ptr<UsbStdfuLibrary> m_stdfu;
  testkit::RecordingWindow m_window;
  RecordArray m_ranges;
  std::int32_t m_nextSerial = 500000;
  IdentityState m_identityState = IdentityState::NotRead;
  std::string m_devicePath;
  OtpImage m_otpImage{};
  RunShared m_shared;
  int m_rescanRequested = 0;
  // The operator's part of the serial-number dialog: optionally types a number, then OK.
  std::optional<std::string> m_typed;
  int m_dialogs = 0;
  SerialNumberDialogRunner m_runner = [this](SerialNumberDialog& dialog) {
    ++m_dialogs;
    dialog.OnInitDialog();
    if (m_typed) dialog.OnSerialChanged(*m_typed);
    return true;
  };
};

// An operator that answers from a script and notes what it was asked and told, in order.
class ScriptedOperator final : public IdentityOperator {
 public:
  bool ReplaceIdentity() override { return Answer("replace?"); }
  bool AcceptSerialOutsideRanges() override { return Answer("outside ranges?"); }
  bool ConfirmRecord(SerialNumberDialog& dialog) override {
    dialog.OnInitDialog();
    return Answer("confirm " + dialog.m_serialText + "?") && dialog.m_recordFilled;
  }
  void Tell(IdentityNotice notice) override { heard.push_back(TextOf(notice).text); }
  void Tell(const OperatorMessage& message) override { heard.push_back(message.text); }

  std::vector<bool> answers;  // taken in order; none left: no
  std::vector<std::string> heard;

 private:
  bool Answer(const std::string& question) {
    heard.push_back(question);
    if (answers.empty()) return false;
    const bool answer = answers.front();
    answers.erase(answers.begin());
    return answer;
  }
};

TEST_F(MacSetzenTest, AsksItsOperatorInOrderAndStopsAtTheFirstNo) {
  ASSERT_EQ(Run().outcome, MacSetzenOutcome::Written);
  Discover();
  m_nextSerial = 9;  // outside every range
  const struct {
    std::vector<bool> answers;
    std::vector<std::string> heard;
    MacSetzenOutcome outcome;
  } cases[] = {
      {{false}, {"replace?"}, MacSetzenOutcome::Declined},
      {{true, false}, {"replace?", "outside ranges?"}, MacSetzenOutcome::Declined},
      {{true, true, false},
       {"replace?", "outside ranges?", "confirm 9?"},
       MacSetzenOutcome::Declined},
      {{true, true, true},
       {"replace?", "outside ranges?", "confirm 9?"},
       MacSetzenOutcome::Written},
      // The number is in the device now.
      {{true, true, true},
       {"replace?", "outside ranges?", "confirm 9?", "Diese Seriennummer ist bereits im Gerät !"},
       MacSetzenOutcome::AlreadyInDevice},
  };
  for (const auto& c : cases) {
    ScriptedOperator asker;
    asker.answers = c.answers;
    MacSetzenState state{m_ranges,   m_nextSerial, m_identityState,  m_devicePath,
                         m_otpImage, m_shared,     m_rescanRequested};
    EXPECT_EQ(MacSetzen({asker, *m_stdfu, m_clock, {}, FixedNow, UtcCalendar}, state).outcome,
              c.outcome);
    EXPECT_EQ(asker.heard, c.heard);
    Discover();
  }
}

TEST_F(MacSetzenTest, WritesTheFirstIdentityIntoBlockOneAndDiscoveryShowsIt) {
  ASSERT_EQ(m_identityState, IdentityState::NotProgrammed);
  m_shared.m_abortRequested = 1;  // left over from an aborted run: must not stop this write
  const MacSetzenResult result = Run();
  EXPECT_EQ(result.outcome, MacSetzenOutcome::Written);
  EXPECT_EQ(result.block, 1u);
  EXPECT_TRUE(m_window.messageBoxes.empty());
  EXPECT_EQ(m_rescanRequested, 1);
  const std::vector<std::uint8_t> written = OtpBlockOnDevice(1);
  EXPECT_EQ(written, std::vector<std::uint8_t>(result.record.begin(), result.record.end()));
  EXPECT_EQ(OtpBlockOnDevice(0), std::vector<std::uint8_t>(32, 0xFF));

  Discover();
  EXPECT_EQ(m_identityState, IdentityState::Present);
  const IdentityDisplay shown = ShowDeviceIdentity(m_otpImage, UtcCalendar);
  EXPECT_EQ(shown.serialNumber, "500000");
  EXPECT_EQ(shown.macA, "02-AB-00-00-00-00");
  EXPECT_EQ(shown.macB, "02-AB-00-00-00-01");
  EXPECT_EQ(shown.assignmentDate, "2014-05-17 13:45:09");
}

TEST_F(MacSetzenTest, ADeviceWithAnIdentityAsksBeforeReplacingIt) {
  ASSERT_EQ(Run().outcome, MacSetzenOutcome::Written);
  Discover();

  // The refusing default: nothing else happens.
  EXPECT_EQ(Run().outcome, MacSetzenOutcome::Declined);
  EXPECT_EQ(m_dialogs, 1);
  EXPECT_THAT(Boxes(), testing::ElementsAre(std::string("Warnung: ") + kReplace));
  EXPECT_EQ(m_window.messageBoxes[0].buttons, MessageButtons::YesNo);

  // Yes, same number: refused although the time differs.
  m_window.ClearRecord();
  m_window.messageBoxes.clear();
  m_window.answers = {MessageResult::Yes};
  EXPECT_EQ(Run().outcome, MacSetzenOutcome::AlreadyInDevice);
  EXPECT_THAT(Boxes(),
              testing::ElementsAre(std::string("Warnung: ") + kReplace,
                                   "Information: Diese Seriennummer ist bereits im Gerät !"));

  // Yes, another number: the next block.
  m_window.messageBoxes.clear();
  m_window.answers = {MessageResult::Yes};
  m_typed = "500001";
  const MacSetzenResult second = Run();
  EXPECT_EQ(second.outcome, MacSetzenOutcome::Written);
  EXPECT_EQ(second.block, 2u);
  Discover();
  EXPECT_EQ(ShowDeviceIdentity(m_otpImage, UtcCalendar).serialNumber, "500001");
}

TEST_F(MacSetzenTest, RefusesWithoutRangesDeviceUnreadOtpOrFreeBlock) {
  RecordArray none;
  MacSetzenState state{none,       m_nextSerial, m_identityState,  m_devicePath,
                       m_otpImage, m_shared,     m_rescanRequested};
  WindowIdentityOperator asker(m_window, m_runner);
  EXPECT_EQ(MacSetzen({asker, *m_stdfu, m_clock, {}, FixedNow, UtcCalendar}, state).outcome,
            MacSetzenOutcome::NoRange);
  EXPECT_THAT(Boxes(),
              testing::ElementsAre(
                  "Warnung: In ./Infos/MacList.cfg ist kein gültiger Bereich eingetragen !"));

  m_window.messageBoxes.clear();
  const std::string path = m_devicePath;
  m_devicePath.clear();  // no device at the last discovery
  EXPECT_EQ(Run().outcome, MacSetzenOutcome::OpenFailed);
  EXPECT_THAT(Boxes(), testing::ElementsAre("Fehler: Das Gerät konnte nicht geöffnet werden !"));

  m_window.messageBoxes.clear();
  m_devicePath = path;
  m_identityState = IdentityState::NotRead;
  EXPECT_EQ(Run().outcome, MacSetzenOutcome::NotRead);
  EXPECT_THAT(Boxes(),
              testing::ElementsAre(
                  "Fehler: Die Speicherplätze des Gerätes konnten nicht gelesen werden !"));

  m_window.messageBoxes.clear();
  Discover();
  std::fill(m_otpImage.begin() + 15 * kOtpBlockSize, m_otpImage.begin() + 16 * kOtpBlockSize, 0);
  EXPECT_EQ(Run().outcome, MacSetzenOutcome::AreaFull);
  EXPECT_THAT(Boxes(), testing::ElementsAre("Fehler: Alle Speicherplätze sind auf gebraucht !"));
  EXPECT_EQ(m_dialogs, 1);
  EXPECT_EQ(m_rescanRequested, 0);
  EXPECT_EQ(OtpBlockOnDevice(1), std::vector<std::uint8_t>(32, 0xFF));
}

// The window keeps discovering while the dialog is open: what counts is the device as it is when
// the operator confirms.
TEST_F(MacSetzenTest, ADeviceThatChangedWhileTheDialogWasOpenIsCheckedAgain) {
  const std::string path = m_devicePath;
  m_runner = [this](SerialNumberDialog& dialog) {
    dialog.OnInitDialog();
    m_devicePath.clear();  // unplugged
    return true;
  };
  EXPECT_EQ(Run().outcome, MacSetzenOutcome::OpenFailed);

  m_devicePath = path;
  m_runner = [this](SerialNumberDialog& dialog) {
    dialog.OnInitDialog();
    m_identityState = IdentityState::Present;  // another device, with an identity, plugged in
    return true;
  };
  EXPECT_EQ(Run().outcome, MacSetzenOutcome::Declined);  // No is the default
  EXPECT_THAT(Boxes(), testing::ElementsAre("Fehler: Das Gerät konnte nicht geöffnet werden !",
                                            std::string("Warnung: ") + kReplace));
  EXPECT_EQ(OtpBlockOnDevice(1), std::vector<std::uint8_t>(32, 0xFF));
}

TEST_F(MacSetzenTest, AProposalOutsideEveryRangeIsQuestioned) {
  m_nextSerial = 7;
  EXPECT_EQ(Run().outcome, MacSetzenOutcome::Declined);  // Cancel is the default
  EXPECT_EQ(m_dialogs, 0);
  EXPECT_THAT(Boxes(), testing::ElementsAre(std::string("Warnung: ") + kOutside));
  EXPECT_EQ(m_window.messageBoxes[0].buttons, MessageButtons::OkCancel);

  // Accepted: the MACs come from the first range, below its first address.
  m_window.answers = {MessageResult::Ok};
  const MacSetzenResult result = Run();
  EXPECT_EQ(result.outcome, MacSetzenOutcome::Written);
  EXPECT_EQ(MacText(DecodeIdentity(result.record.data())->macA), "02-AA-FF-F0-BD-CE");
}

// The set-address command before the OTP write fails on the device: the pointer stays where
// discovery left it, at block 0. The command is tried again and the record lands in block 1 only.
TEST_F(MacSetzenTest, ASetAddressEndingInDfuErrorIsRetriedAndNoBlockElseIsWritten) {
  SimFault fault;
  fault.action = SimFaultAction::DfuError;
  fault.request = SimRequest::Dnload;
  fault.nth = 2;  // download 1 was discovery's set-address
  fault.status = errTARGET;
  m_bench->AddFault(0, fault);
  const MacSetzenResult result = Run();
  EXPECT_EQ(result.outcome, MacSetzenOutcome::Written);
  EXPECT_EQ(result.block, 1u);
  EXPECT_TRUE(m_window.messageBoxes.empty());
  EXPECT_EQ(OtpBlockOnDevice(0), std::vector<std::uint8_t>(32, 0xFF));
  EXPECT_EQ(OtpBlockOnDevice(1),
            std::vector<std::uint8_t>(result.record.begin(), result.record.end()));
}

TEST_F(MacSetzenTest, DeviceFaultsGiveTheirErrorTexts) {
  struct Case {
    const char* name;
    std::function<void(SimBench&)> arrange;
    MacSetzenOutcome outcome;
    const char* text;
    int rescan;
  };
  const Case cases[] = {
      {"device gone", [](SimBench& bench) { bench.Unplug(0); }, MacSetzenOutcome::OpenFailed,
       "Das Gerät konnte nicht geöffnet werden !", 0},
      {"alternate not selectable",
       [](SimBench& bench) { bench.AddFault(0, Failing(SimRequest::SetInterface)); },
       MacSetzenOutcome::SelectFailed, "Fehler beim Programmieren !", 0},
      {"downloads fail", [](SimBench& bench) { bench.AddFault(0, Failing(SimRequest::Dnload)); },
       MacSetzenOutcome::WriteFailed, "Fehler beim Programmieren !", 1},
      // The block's write fails on the device; only the read-back can tell.
      {"locked OTP block", [](SimBench& bench) { bench.LockOtpBlock(0, 1); },
       MacSetzenOutcome::Differs, "Die Daten wurden nicht gültig programmiert !", 1},
      {"read-back fails", [](SimBench& bench) { bench.AddFault(0, Failing(SimRequest::Upload)); },
       MacSetzenOutcome::ReadBackFailed, "Fehler beim Prüfen !", 1},
      {"read-back differs",
       [](SimBench& bench) { bench.AddFault(0, Corrupting(kOtpAddress + kOtpBlockSize + 3)); },
       MacSetzenOutcome::Differs, "Die Daten wurden nicht gültig programmiert !", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NewBench();
    m_window.messageBoxes.clear();
    m_rescanRequested = 0;
    c.arrange(*m_bench);
    EXPECT_EQ(Run().outcome, c.outcome);
    EXPECT_THAT(Boxes(), testing::ElementsAre(std::string("Fehler: ") + c.text));
    EXPECT_EQ(m_rescanRequested, c.rescan);
  }
}

}  // namespace
}  // namespace kestrune
