// The whole Windows path: the real main window over SetupDi and WinUSB, whose functions a fake
// device stack serves from the simulated bench. Devices arrive and leave as WM_DEVICECHANGE, as
// the window's own registrations deliver them.

#include <windows.h>

#include <dbt.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "app/control_ids.h"
#include "gui_bench.h"

namespace kestrune::win32::testing {
namespace {

using kestrune::testing::FakeBinding;

// What Windows sends the window when the interface `path` arrives or leaves.
void Broadcast(GuiOperator& gui, UINT event, const std::string& path) {
  std::vector<char> buffer(offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) + path.size() + 1);
  auto* broadcast = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(buffer.data());
  broadcast->dbcc_size = static_cast<DWORD>(buffer.size());
  broadcast->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  std::memcpy(broadcast->dbcc_name, path.c_str(), path.size() + 1);
  SendMessageA(gui.Main(), WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(broadcast));
}

using WinUsbWindowTest = GuiBench;

TEST_F(WinUsbWindowTest, ARunWithTheOptionResetAndMacSetzenGoThroughWinUsb) {
  MakeWinUsbBench(1);
  const std::string firmware = Firmware();
  Run([&](GuiOperator& gui) {
    EXPECT_EQ(gui.Text(kIdDeviceCount), "1");
    EXPECT_EQ(gui.Text(kIdProductId), "DF11h");
    EXPECT_EQ(gui.Text(kIdFlashSize), "1024 kB");
    gui.Type(kIdFirmwarePath, firmware);
    gui.Tick(5);
    ASSERT_TRUE(gui.StartRun());
    ASSERT_TRUE(gui.WaitUntilIdle());
    EXPECT_EQ(gui.Text(kIdStatusLine), "... Das Gerät wurde erfolgreich programmiert ...");

    gui.Click(kIdMacSetzen);
    HWND dialog = gui.WaitForDialog("Seriennummer einstellen");
    ASSERT_NE(dialog, nullptr);
    GuiOperator::PostClick(dialog, IDOK);
    ASSERT_TRUE(gui.WaitUntil([&] { return !IsWindow(dialog) && IsWindowEnabled(gui.Main()); }));
  });
  EXPECT_EQ(bench->Peek(0, 0, 0x08000000, static_cast<std::uint32_t>(image.size())), image);
  // The option bytes were written, which reset the device, and it was found again.
  EXPECT_EQ(bench->Peek(0, 1, 0x1FFFC000, 1), std::vector<std::uint8_t>{0xE3});
  // "MAC setzen" wrote an identity block with the site's MAC prefix.
  const std::vector<std::uint8_t> otp = bench->Peek(0, 2, 0x1FFF7800, 512);
  const std::uint8_t prefix[] = {0x02, 0x4B, 0x53};
  EXPECT_NE(std::search(otp.begin(), otp.end(), prefix, prefix + 3), otp.end());
  EXPECT_EQ(windowsStack->openFiles, 0);
  EXPECT_EQ(windowsStack->openWinUsb, 0);
}

TEST_F(WinUsbWindowTest, AnUnplugDuringARunFailsItAndADeviceThatArrivesLaterIsFound) {
  MakeWinUsbBench(1, [](SimDeviceConfig& device) { device.timing = DatasheetTiming(); });
  const std::string firmware = Firmware();
  Run([&](GuiOperator& gui) {
    const std::string path = bench->PathOf(0);
    gui.Type(kIdFirmwarePath, firmware);
    gui.Tick(5);
    ASSERT_TRUE(gui.StartRun());
    bench->Unplug(0);
    Broadcast(gui, DBT_DEVICEREMOVECOMPLETE, path);
    EXPECT_FALSE(gui.AnswerBox("Fehler").empty());
    ASSERT_TRUE(gui.WaitUntilIdle());
    gui.Tick();
    EXPECT_EQ(gui.Text(kIdDeviceCount), "0");

    bench->Plug(0);
    Broadcast(gui, DBT_DEVICEARRIVAL, path);
    EXPECT_EQ(gui.Text(kIdDeviceCount), "1");
    EXPECT_EQ(gui.Text(kIdVendorId), "0483h");
  });
}

TEST_F(WinUsbWindowTest, EachOpenProblemIsToldOnceInABoxOwnedByTheMainWindow) {
  MakeWinUsbBench(2);
  // The second boot loader is bound to the vendor's driver, which no WinUSB call reaches.
  windowsStack->bindings["dev1"] = FakeBinding{"STTub30", {}, ""};
  windowsStack->createFileError = ERROR_ACCESS_DENIED;
  Run([&](GuiOperator& gui) {
    std::string told;
    for (int i = 0; i < 2; ++i) {
      HWND box = gui.WaitForDialog("Warnung");
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(GetWindow(box, GW_OWNER), gui.Main());
      told += gui.AnswerBox("Warnung") + "|";
    }
    EXPECT_NE(told.find("Der Zugriff auf das USB-Gerät\n\n" + bench->PathOf(0)), std::string::npos)
        << told;
    EXPECT_NE(told.find("USB\\VID_0483&PID_DF11\\DEV1\n\nist an den Treiber \"STTub30\" gebunden"),
              std::string::npos)
        << told;
    EXPECT_EQ(gui.Text(kIdDeviceCount), "1");

    // Discovery again finds the same problems: no box this time.
    Broadcast(gui, DBT_DEVICEARRIVAL, bench->PathOf(0));
    gui.Tick();
    EXPECT_EQ(FindWindowA(nullptr, "Warnung"), nullptr);

    // Once the other program let go, the device is shown.
    windowsStack->createFileError = 0;
    Broadcast(gui, DBT_DEVICEARRIVAL, bench->PathOf(0));
    EXPECT_EQ(gui.Text(kIdVendorId), "0483h");
  });
}

}  // namespace
}  // namespace kestrune::win32::testing
