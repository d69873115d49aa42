#include "app/programmer_dialog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <thread>

#include "app/control_ids.h"
#include "app/dialog_fixture.h"
#include "app/run_commands.h"

namespace kestrune {
namespace {

using testkit::RecordedEffect;

constexpr const char* kDevice =
    "\\\\?\\usb#vid_0483&pid_df11#1#{3fe809ab-fb91-4cb5-a643-69670d52366e}";

TEST_F(DialogTest, StartUpEnumeratesOnceAndStartsThePollTimer) {
  Start();
  EXPECT_EQ(bus.Enumerations(), 1);
  ASSERT_FALSE(window.effects.empty());
  const RecordedEffect& last = window.effects.back();
  EXPECT_EQ(last.kind, RecordedEffect::Kind::StartTimer);
  EXPECT_EQ(last.id, ID_POLL_TIMER);
  EXPECT_EQ(last.value, 250);
  EXPECT_TRUE(bus.listener);
}

TEST_F(DialogTest, WithoutADeviceEveryTwentyFirstTickEnumerates) {
  Start();
  Ticks(20);
  EXPECT_EQ(bus.Enumerations(), 1);
  Ticks(1);
  EXPECT_EQ(bus.Enumerations(), 2);
  Ticks(21);
  EXPECT_EQ(bus.Enumerations(), 3);
}

TEST_F(DialogTest, WithADeviceTheTimerDoesNotEnumerate) {
  bus.paths = {kDevice};
  Start();
  EXPECT_EQ(dialog->DeviceCount(), 1);
  Ticks(60);
  EXPECT_EQ(bus.Enumerations(), 1);
}

TEST_F(DialogTest, DeviceEventsEnumerateAtOnceWhileIdle) {
  Start();
  bus.paths = {kDevice};
  // The bus reports on its own thread; the window hands the event to the dialog.
  bus.listener(DeviceEvent::Arrival, kDevice);
  auto posted = window.WaitPosted(std::chrono::milliseconds(0));
  ASSERT_TRUE(posted.has_value());
  dialog->OnDeviceChange(posted->event, posted->path);
  EXPECT_EQ(bus.Enumerations(), 2);
  EXPECT_EQ(dialog->DeviceCount(), 1);
}

TEST_F(DialogTest, OnlyTheRemovalOfTheOpenedDeviceIsNoticedWhateverItsCase) {
  stdfu.opens = true;
  bus.paths = {kDevice};
  Start();
  std::atomic<bool> release{false};
  job = [&](RunEvents&) {
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  dialog->OnTest();
  dialog->OnDeviceChange(DeviceEvent::Removal, "\\\\?\\usb#vid_0483&pid_df11#2#{3fe809ab}");
  EXPECT_EQ(dialog->Shared().m_deviceRemoved.load(), 0);
  std::string upper = kDevice;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  dialog->OnDeviceChange(DeviceEvent::Removal, upper);
  EXPECT_EQ(dialog->Shared().m_deviceRemoved.load(), 1);
  EXPECT_EQ(bus.Enumerations(), 1);  // postponed while busy
  release = true;
  ASSERT_TRUE(PumpUntilFinished());
}

TEST_F(DialogTest, WhileTheRunWaitsForItsDeviceTheWindowEnumeratesUntilTheDeviceIsBack) {
  stdfu.opens = true;
  bus.paths = {kDevice};
  Start();
  std::atomic<bool> release{false};
  job = [&](RunEvents&) {
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  dialog->OnTest();
  // Before the device left, the command changes nothing.
  dialog->OnCommand(ID_RUN_REENUMERATE);
  EXPECT_EQ(bus.Enumerations(), 1);
  bus.paths.clear();
  dialog->OnDeviceChange(DeviceEvent::Removal, kDevice);
  EXPECT_EQ(bus.Enumerations(), 1);
  dialog->OnCommand(ID_RUN_REENUMERATE);
  EXPECT_EQ(dialog->CurrentDevice().deviceCount, 0);
  dialog->OnCommand(ID_RUN_REENUMERATE);  // still away: looked for again
  EXPECT_EQ(bus.Enumerations(), 3);
  bus.paths = {kDevice};
  dialog->OnCommand(ID_RUN_REENUMERATE);
  const JobDevice back = dialog->CurrentDevice();
  EXPECT_EQ(back.deviceCount, 1);
  EXPECT_EQ(back.devicePath, kDevice);
  // Back: the worker is about to open it, so it is left alone.
  dialog->OnCommand(ID_RUN_REENUMERATE);
  EXPECT_EQ(bus.Enumerations(), 4);
  release = true;
  ASSERT_TRUE(PumpUntilFinished());
}

TEST_F(DialogTest, OkRefusesWithoutExactlyOneDeviceBeforeLookingAtTheFirmware) {
  struct Case {
    int devices;
    MessageIcon icon;
    const char* text;
  };
  const Case cases[] = {
      {0, MessageIcon::Stop,
       "Es ist kein Cortex-M4 Gerät via USB angeschlossen !\n\nBitte prüfen ob das Gerät "
       "angesteckt ist,\nund zuvor der Boot-Dongle angebacht wurde."},
      {2, MessageIcon::Warning,
       "Es ist mehr als ein Cortex-M4 Gerät via USB angeschlossen !\n\nBitte alle Geräte die "
       "nicht geflasht werden sollen."},
      {1, MessageIcon::Stop, "Es ist keine gültige Firmware-Datei !"},
  };
  for (const Case& c : cases) {
    bus.paths.assign(c.devices, kDevice);
    window.ClearRecord();
    Start();
    dialog->OnOK();
    ASSERT_EQ(window.messageBoxes.size(), 1u) << c.devices;
    EXPECT_EQ(window.messageBoxes[0].caption, "Fehler");
    EXPECT_EQ(window.messageBoxes[0].text, c.text);
    EXPECT_EQ(window.messageBoxes[0].icon, c.icon);
    EXPECT_EQ(window.messageBoxes[0].buttons, MessageButtons::Ok);
    EXPECT_FALSE(dialog->Busy());
    EXPECT_EQ(runs.load(), 0);
  }
}

TEST_F(DialogTest, ProgressRangeIsShiftedIntoSixteenBits) {
  struct Case {
    int total;
    int upper;
    int pos;
    int shownPos;
  };
  const Case cases[] = {
      {32768, 32768, 32768, 32768},
      {32769, 16384, 32769, 16384},
      {50000, 25000, 20000, 10000},
      {2457600, 19200, 2457600, 19200},
  };
  Start();
  for (const Case& c : cases) {
    dialog->Shared().m_progressTotal = c.total;
    dialog->OnCommand(ID_RUN_PROGRESS_RANGE);
    EXPECT_EQ(window.ProgressUpper(), c.upper) << c.total;
    dialog->Shared().m_progressPos = c.pos;
    dialog->OnCommand(ID_RUN_PROGRESS);
    EXPECT_EQ(window.ProgressPosition(), c.shownPos) << c.total;
  }
}

// A run's phases share one bar of work units: erasing counts half of the bytes it covers,
// programming and verifying every byte, each phase going on where the one before stopped.
TEST_F(DialogTest, TheRunsPhasesBecomeWorkUnitsOfOneBar) {
  Start();
  std::vector<std::pair<int, int>> seen;  // total and position at each progress command
  job = [&](RunEvents& events) {
    events.PhaseStarted(RunPhase::Erasing, 20000);
    events.Progress(16384);  // a segment of one sector: erasing stops short of the image
    events.PhaseStarted(RunPhase::Programming, 20000);
    events.Progress(2048);
    events.Progress(20000);
    events.PhaseStarted(RunPhase::Verifying, 20000);
    events.Progress(20000);
    events.Succeeded();
  };
  window.onPostCommand = [&](int id) {
    if (id == ID_RUN_PROGRESS || id == ID_RUN_PROGRESS_RANGE) {
      seen.emplace_back(dialog->Shared().m_progressTotal.load(),
                        dialog->Shared().m_progressPos.load());
    }
  };
  dialog->OnTest();
  ASSERT_TRUE(PumpUntilFinished());
  EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{50000, 0},
                                                    {50000, 8192},
                                                    {50000, 8192 + 2048},
                                                    {50000, 8192 + 20000},
                                                    {50000, 8192 + 40000}}));
  EXPECT_EQ(window.ProgressUpper(), 25000);
  EXPECT_EQ(dialog->RunStatus(), RunStatusSucceeded);
}

TEST_F(DialogTest, TestButtonRunsWithoutChecksAndTheWindowIsBusyUntilTheRunFinished) {
  Start();
  std::atomic<bool> release{false};
  job = [&](RunEvents&) {
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  dialog->OnTest();
  EXPECT_TRUE(dialog->Busy());
  for (int id : {kIdFirmwarePath, kIdBrowse, kIdOk, kIdMacSetzen}) {
    EXPECT_FALSE(window.Enabled(id)) << id;
  }
  EXPECT_TRUE(window.Enabled(kIdCancel));
  dialog->OnOK();  // ignored while busy
  dialog->OnTest();
  // Abbrechen asks the run to stop and keeps the window open.
  dialog->OnCancel();
  EXPECT_FALSE(window.Enabled(kIdCancel));
  EXPECT_EQ(dialog->Shared().m_abortRequested.load(), 1);
  EXPECT_FALSE(window.endResult.has_value());
  release = true;
  ASSERT_TRUE(PumpUntilFinished());
  EXPECT_EQ(runs.load(), 1);
  EXPECT_FALSE(dialog->Busy());
  for (int id : {kIdFirmwarePath, kIdBrowse, kIdOk, kIdMacSetzen, kIdCancel}) {
    EXPECT_TRUE(window.Enabled(id)) << id;
  }
  EXPECT_EQ(window.ProgressPosition(), 0);
  // The next start clears the stop request.
  release = true;
  dialog->OnTest();
  EXPECT_EQ(dialog->Shared().m_abortRequested.load(), 0);
  ASSERT_TRUE(PumpUntilFinished());
}

TEST_F(DialogTest, AnErrorHoldsTheWorkerUntilItsBoxWasClosed) {
  Start();
  std::atomic<bool> pastError{false};
  job = [&](RunEvents& events) {
    events.Status("... Firmware laden ...");
    events.Failed("Falsches Flash Alignment !");
    pastError = true;
    events.Status(std::string(300, 'x'));
  };
  window.onMessageBox = [&](const testkit::RecordedMessageBox&) {
    // Give a worker that did not wait every chance to run ahead.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(pastError.load());
    EXPECT_EQ(dialog->RunStatus(), RunStatusFailed);
  };
  dialog->OnTest();
  ASSERT_TRUE(PumpUntilFinished());
  ASSERT_EQ(window.messageBoxes.size(), 1u);
  EXPECT_EQ(window.messageBoxes[0].caption, "Fehler");
  EXPECT_EQ(window.messageBoxes[0].text, "Falsches Flash Alignment !");
  EXPECT_EQ(window.messageBoxes[0].icon, MessageIcon::Stop);
  EXPECT_TRUE(pastError.load());
  EXPECT_GE(window.Repaints(kIdStatusLine), 1);
  EXPECT_EQ(dialog->ControlColour(kIdStatusLine), ColourScheme::Bad);
  const auto texts = window.TextHistory(kIdStatusLine);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], "... Firmware laden ...");
  EXPECT_EQ(texts[1], std::string(255, 'x'));
}

TEST_F(DialogTest, ErrorsOfTwoRunsAreEachAcknowledgedOnce) {
  Start();
  job = [](RunEvents& events) {
    events.Failed("eins");
    events.Failed("zwei");
  };
  for (int run = 0; run < 2; ++run) {
    dialog->OnTest();
    ASSERT_TRUE(PumpUntilFinished());
  }
  ASSERT_EQ(window.messageBoxes.size(), 4u);
  EXPECT_EQ(window.messageBoxes[3].text, "zwei");
}

TEST_F(DialogTest, ADialogTornDownUnderAWaitingWorkerStopsAndJoinsIt) {
  Start();
  std::atomic<bool> waiting{false};
  job = [&](RunEvents& events) {
    waiting = true;
    events.Failed("eins");
    events.Failed("zwei");
  };
  dialog->OnTest();
  while (!waiting) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  dialog.reset();  // no box is ever shown; returns once the worker has ended
  EXPECT_EQ(runs.load(), 1);
}

TEST_F(DialogTest, DeviceEventsDuringARunWaitForTheFirstTickAfterIt) {
  Start();
  std::atomic<bool> release{false};
  job = [&](RunEvents&) {
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  dialog->OnTest();
  bus.paths = {kDevice};
  dialog->OnDeviceChange(DeviceEvent::Arrival, kDevice);
  Ticks(30);
  EXPECT_EQ(bus.Enumerations(), 1);
  release = true;
  ASSERT_TRUE(PumpUntilFinished());
  EXPECT_EQ(bus.Enumerations(), 1);
  Ticks(1);
  EXPECT_EQ(bus.Enumerations(), 2);
  EXPECT_EQ(dialog->DeviceCount(), 1);
}

TEST_F(DialogTest, TheRunWorksOnCopiesTakenAtItsStart) {
  bus.paths = {kDevice};
  Start();
  window.SetControlText(kIdFirmwarePath, "/tmp/firmware.bin");
  job = [](RunEvents& events) { events.Status("x"); };
  dialog->OnTest();
  ASSERT_TRUE(PumpUntilFinished());
  EXPECT_EQ(inputs.device.deviceCount, 1);
  EXPECT_EQ(inputs.infosFolder, "Infos");
}

TEST_F(DialogTest, CancelWhileIdleClosesTheWindow) {
  Start();
  dialog->OnCancel();
  EXPECT_EQ(window.endResult, kIdCancel);
}

TEST_F(DialogTest, BrowseStartsAtTheTypedPathAndKeepsItWhenCancelled) {
  Start();
  dialog->OnBrowse();
  ASSERT_EQ(window.fileRequests.size(), 1u);
  EXPECT_EQ(window.fileRequests[0].initialFileName, "*.bin");
  EXPECT_EQ(window.fileRequests[0].title, "Datei auswählen");
  EXPECT_EQ(window.fileRequests[0].filter, "Firmware-Dateien ( *.bin )|*.bin|Alle Dateien|*.*|");
  window.SetControlText(kIdFirmwarePath, "/typed/path.bin");
  dialog->OnBrowse();
  EXPECT_EQ(window.fileRequests[1].initialFileName, "/typed/path.bin");
  EXPECT_EQ(window.Text(kIdFirmwarePath), "/typed/path.bin");
  window.chosenFile = "/chosen/file.bin";
  dialog->OnBrowse();
  EXPECT_EQ(window.Text(kIdFirmwarePath), "/chosen/file.bin");
  EXPECT_EQ(dialog->FirmwarePath(), "/chosen/file.bin");
}

}  // namespace
}  // namespace kestrune
