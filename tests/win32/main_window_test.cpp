// The main window driven as an operator drives it, on the simulated bench.

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>

#include "app/control_ids.h"
#include "gui_bench.h"
#include "win32/resource.h"
#include "win32/win32_window.h"

namespace kestrune::win32::testing {
namespace {

// Types the path and lets the five ticks pass after which it is described.
void ChooseFirmware(GuiOperator& gui, const std::string& path) {
  gui.Type(kIdFirmwarePath, path);
  gui.Tick(5);
}

using MainWindowTest = GuiBench;

TEST_F(MainWindowTest, StartUpShowsTheDeviceAndATypedPathIsDescribedOnTheFifthTick) {
  const std::string firmware = Firmware();
  Run([&](GuiOperator& gui) {
    const std::pair<int, const char*> shown[] = {
        {kIdDeviceCount, "1"},    {kIdVendorId, "0483h"},       {kIdProductId, "DF11h"},
        {kIdDfuVersion, "011Ah"}, {kIdDeviceBcd, "2200h"},      {kIdFlashSize, "1024 kB"},
        {kIdFirmwareKind, "---"}, {kIdFirmwareVersion, ""},     {kIdStatusLine, ""},
        {kIdFirmwarePath, ""},    {kIdMacSetzen, "MAC setzen"}, {IDOK, "OK"},
        {IDCANCEL, "Abbrechen"},
    };
    for (const auto& [id, text] : shown) EXPECT_EQ(gui.Text(id), text) << id;
    EXPECT_FALSE(gui.Text(kIdUniqueId).empty());
    EXPECT_TRUE(gui.Visible(kIdMacSetzen));
    for (int hidden : {kIdTest, kIdSerialNumber, kIdMacA, kIdMacB, kIdAssignmentDate}) {
      EXPECT_FALSE(gui.Visible(hidden)) << hidden;
    }
    EXPECT_EQ(gui.PaintedColour(kIdDeviceCount), kGoodColour);
    EXPECT_EQ(gui.PaintedColour(kIdFirmwareKind), kDoubtfulColour);

    gui.Type(kIdFirmwarePath, firmware);
    gui.Tick(4);
    EXPECT_EQ(gui.Text(kIdFirmwareKind), "---");
    gui.Tick();
    EXPECT_EQ(gui.Text(kIdFirmwareKind), "KST-F4");
    EXPECT_EQ(gui.Text(kIdChecksum), "44332211h  (Ok)");
    EXPECT_EQ(gui.Text(kIdFileSize), "48.0 kB");
    EXPECT_EQ(gui.PaintedColour(kIdFirmwareKind), kGoodColour);
  });
}

TEST_F(MainWindowTest, OkProgramsTheDeviceAndItsPathIsTheCurrentOneAfterARestart) {
  const std::string firmware = Firmware();
  Run([&](GuiOperator& gui) {
    ChooseFirmware(gui, firmware);
    ASSERT_TRUE(gui.StartRun());
    ASSERT_TRUE(gui.WaitUntilIdle());
    EXPECT_EQ(gui.Text(kIdStatusLine), "... Das Gerät wurde erfolgreich programmiert ...");
    EXPECT_EQ(gui.PaintedColour(kIdStatusLine), kGoodColour);
    // The bar was given the run's size and is back at 0.
    EXPECT_GT(SendMessageA(gui.Control(kIdProgress), PBM_GETRANGE, FALSE, 0), 0);
    EXPECT_EQ(SendMessageA(gui.Control(kIdProgress), PBM_GETPOS, 0, 0), 0);
  });
  EXPECT_EQ(bench->Peek(0, 0, 0x08000000, static_cast<std::uint32_t>(image.size())), image);
  // The run stored the path: the next start shows it and describes it at once.
  Run([&](GuiOperator& gui) {
    EXPECT_EQ(gui.Text(kIdFirmwarePath), firmware);
    EXPECT_EQ(SendMessageA(gui.Control(kIdFirmwarePath), CB_GETCOUNT, 0, 0), 1);
    EXPECT_EQ(gui.Text(kIdFirmwareKind), "KST-F4");
  });
}

TEST_F(MainWindowTest, AnErrorOfTheRunWaitsForItsBoxAndTheStatusLineTurnsBad) {
  MakeBench(1, [](SimDeviceConfig& device) {
    // The read-back differs from what was written.
    SimFault corrupt;
    corrupt.action = SimFaultAction::Corrupt;
    corrupt.address = 0x08000100;
    device.faults.push_back(corrupt);
  });
  const std::string firmware = Firmware();
  Run([&](GuiOperator& gui) {
    ChooseFirmware(gui, firmware);
    gui.Click(IDOK);
    HWND box = gui.WaitForDialog("Fehler");
    ASSERT_NE(box, nullptr);
    // The run waits: the window stays busy while the box is open.
    EXPECT_FALSE(gui.Enabled(IDOK));
    EXPECT_FALSE(GuiOperator::MessageText(box).empty());
    EXPECT_EQ(gui.AnswerBox("Fehler"), GuiOperator::MessageText(box));
    ASSERT_TRUE(gui.WaitUntilIdle());
    EXPECT_EQ(gui.PaintedColour(kIdStatusLine), kBadColour);
  });
}

// A device that will not give its unique ID is programmed all the same; the operator is warned
// that its log line does not name it.
TEST_F(MainWindowTest, ADeviceThatWithholdsItsUniqueIdIsProgrammedWithAWarning) {
  MakeBench(1, [](SimDeviceConfig& device) { device.strictness.uniqueIdReadable = false; });
  const std::string firmware = Firmware();
  Run([&](GuiOperator& gui) {
    ChooseFirmware(gui, firmware);
    gui.Click(IDOK);
    EXPECT_EQ(gui.AnswerBox("Warnung"),
              "Das Gerät wurde programmiert, aber seine Unique-ID konnte nicht gelesen werden "
              "!\n\nSeine Zeile im Download-Log nennt das Gerät nicht.");
    ASSERT_TRUE(gui.WaitUntilIdle());
  });
  EXPECT_EQ(bench->Peek(0, 0, 0x08000000, static_cast<std::uint32_t>(image.size())), image);
}

TEST_F(MainWindowTest, AbbrechenDuringARunStopsTheRunAndKeepsTheWindow) {
  MakeBench(1, [](SimDeviceConfig& device) { device.timing = DatasheetTiming(); });
  const std::string firmware = Firmware();
  Run([&](GuiOperator& gui) {
    ChooseFirmware(gui, firmware);
    ASSERT_TRUE(gui.StartRun());
    gui.Click(IDCANCEL);
    ASSERT_TRUE(gui.WaitUntilIdle());
    EXPECT_TRUE(IsWindow(gui.Main()));
    EXPECT_EQ(gui.Text(kIdStatusLine), "... User-Abbruch ...");
    EXPECT_TRUE(gui.Enabled(IDCANCEL));
    EXPECT_EQ(gui.PaintedColour(kIdStatusLine), kDoubtfulColour);
  });
}

struct DeviceCountCase {
  int devices;
  const char* countText;
  COLORREF colour;
  const char* refusal;
};

class DeviceCountTest : public GuiBench, public ::testing::WithParamInterface<DeviceCountCase> {};

TEST_P(DeviceCountTest, TheCountIsPaintedAndOkRefusesToStart) {
  const DeviceCountCase& c = GetParam();
  MakeBench(c.devices);
  const std::string firmware = Firmware();
  Run([&](GuiOperator& gui) {
    EXPECT_EQ(gui.Text(kIdDeviceCount), c.countText);
    EXPECT_EQ(gui.PaintedColour(kIdDeviceCount), c.colour);
    ChooseFirmware(gui, firmware);
    gui.Click(IDOK);
    EXPECT_EQ(gui.AnswerBox("Fehler").rfind(c.refusal, 0), 0u);
    EXPECT_TRUE(gui.Enabled(IDOK));
  });
}

INSTANTIATE_TEST_SUITE_P(
    NoneAndTwo, DeviceCountTest,
    ::testing::Values(
        DeviceCountCase{0, "0", kBadColour, "Es ist kein Cortex-M4 Gerät via USB angeschlossen !"},
        DeviceCountCase{2, "2", kDoubtfulColour,
                        "Es ist mehr als ein Cortex-M4 Gerät via USB angeschlossen !"}));

TEST_F(MainWindowTest, TheAboutBoxOpensFromTheSystemMenu) {
  Run([&](GuiOperator& gui) {
    char item[64] = {};
    GetMenuStringA(GetSystemMenu(gui.Main(), FALSE), IDM_ABOUTBOX, item, sizeof item, MF_BYCOMMAND);
    EXPECT_STREQ(item, "Inf&o über Kestrune...");
    PostMessageA(gui.Main(), WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    EXPECT_EQ(gui.AnswerBox("Info über Kestrune"), "Kestrune Version 1.01");
  });
}

TEST_F(MainWindowTest, PickingFromTheListAndDroppingAFileDescribeTheirPath) {
  const std::string picked = Firmware("picked.bin");
  const std::string dropped = Firmware("dropped.bin");
  Run([&](GuiOperator& gui) {
    HWND combo = gui.Control(kIdFirmwarePath);
    SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(picked.c_str()));
    // The list reports a pick as the operator's click would.
    SendMessageA(combo, CB_SETCURSEL, 0, 0);
    SendMessageA(gui.Main(), WM_COMMAND, MAKEWPARAM(kIdFirmwarePath, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
    gui.Tick();
    EXPECT_EQ(gui.Text(kIdFirmwareKind), "KST-F4");

    const std::string files = dropped + '\0' + picked + '\0' + '\0';
    HGLOBAL drop = GlobalAlloc(GHND, sizeof(DROPFILES) + files.size());
    auto* header = static_cast<DROPFILES*>(GlobalLock(drop));
    header->pFiles = sizeof(DROPFILES);
    std::memcpy(reinterpret_cast<char*>(header) + sizeof(DROPFILES), files.data(), files.size());
    GlobalUnlock(drop);
    SendMessageA(combo, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    EXPECT_EQ(gui.Text(kIdFirmwarePath), dropped);
    SendMessageA(gui.Control(kIdFirmwareKind), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
    // The drop counts as typing: described on the fifth tick.
    gui.Tick(4);
    EXPECT_EQ(gui.Text(kIdFirmwareKind), "");
    gui.Tick();
    EXPECT_EQ(gui.Text(kIdFirmwareKind), "KST-F4");
  });
}

TEST_F(MainWindowTest, MacSetzenWritesTheOtpBlockThroughTheSerialNumberDialog) {
  Run([&](GuiOperator& gui) {
    gui.Click(kIdMacSetzen);
    HWND dialog = gui.WaitForDialog("Seriennummer einstellen");
    ASSERT_NE(dialog, nullptr);
    // The main window is its owner: it takes no clicks meanwhile.
    EXPECT_FALSE(IsWindowEnabled(gui.Main()));
    EXPECT_EQ(WindowText(GetDlgItem(dialog, kIdSerialNumber)), "100000");
    EXPECT_EQ(WindowText(GetDlgItem(dialog, kIdMacA)), "02-4B-53-00-00-00");
    GuiOperator serial(dialog, GetCurrentThreadId());
    GuiOperator::TypeInto(dialog, kIdSerialNumber, "5");
    EXPECT_EQ(serial.PaintedColour(kIdMacA), RGB(230, 190, 190));
    GuiOperator::TypeInto(dialog, kIdSerialNumber, "100001");
    EXPECT_EQ(WindowText(GetDlgItem(dialog, kIdMacB)), "02-4B-53-00-00-03");
    EXPECT_EQ(serial.PaintedColour(kIdMacA), RGB(190, 230, 190));
    GuiOperator::PostClick(dialog, IDOK);
    ASSERT_TRUE(gui.WaitUntil([&] { return !IsWindow(dialog) && IsWindowEnabled(gui.Main()); }));
  });
  const std::vector<std::uint8_t> block = bench->Peek(0, 2, 0x1FFF7800 + 32, 8);
  EXPECT_EQ(block, (std::vector<std::uint8_t>{0x02, 0x4B, 0x53, 0x00, 0x00, 0x02, 0x7A, 0x85}));
}

// An identity must go to the device the operator sees alone: with two attached, the button is
// refused as OK is, before the serial-number dialog, and neither device's OTP changes.
TEST_F(MainWindowTest, MacSetzenWithTwoDevicesIsRefusedBeforeAnyQuestion) {
  MakeBench(2);
  Run([&](GuiOperator& gui) {
    gui.Click(kIdMacSetzen);
    EXPECT_EQ(gui.AnswerBox("Fehler"),
              "Es ist mehr als ein Cortex-M4 Gerät via USB angeschlossen !\n\nBitte alle Geräte "
              "die nicht geflasht werden sollen.");
    EXPECT_TRUE(gui.WaitUntil([&] { return IsWindowEnabled(gui.Main()) != FALSE; }));
    EXPECT_EQ(FindWindowA(nullptr, "Seriennummer einstellen"), nullptr);
  });
  const std::vector<std::uint8_t> blank(528, 0xFF);
  EXPECT_EQ(bench->Peek(0, 2, 0x1FFF7800, 528), blank);
  EXPECT_EQ(bench->Peek(1, 2, 0x1FFF7800, 528), blank);
}

}  // namespace
}  // namespace kestrune::win32::testing
