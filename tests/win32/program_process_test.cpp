// Kestrune.exe started as an operator starts it, read from outside as another program would: its
// controls through WM_GETTEXT, their colours from the screen, its boxes by their captions.

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "app/control_ids.h"
#include "gui_operator.h"
#include "platform/clock.h"
#include "sim/sim_file.h"
#include "testkit/temp_folder.h"

namespace kestrune::win32::testing {
namespace {

// The text of a window of another process, asked of that process.
std::string TextOf(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 10000, &length)) {
    return "(no answer)";
  }
  std::string text(length + 1, '\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                      SMTO_ABORTIFHUNG, 10000, &copied);
  text.resize(copied);
  return text;
}

// The colour control `control` of another process is painted in, read from the screen (the
// program's own device context is not ours to read).
COLORREF ScreenColour(HWND control) {
  RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  RECT place{};
  GetWindowRect(control, &place);
  HDC screen = GetDC(nullptr);
  const COLORREF colour = GetPixel(screen, place.left + 2, place.top + 2);
  ReleaseDC(nullptr, screen);
  return colour;
}

// Windows names of the files the build made (Wine maps / to Z:).
std::string WindowsPath(std::string path) {
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path.rfind('\\', 0) == 0 ? "Z:" + path : path;
}

// Kestrune.exe with KESTRUNE_SIMULATE set to `simulate` (unset when nothing), closed at the end.
class KestruneProcess {
 public:
  explicit KestruneProcess(const std::optional<std::string>& simulate) {
    SetEnvironmentVariableA("KESTRUNE_SIMULATE", simulate ? simulate->c_str() : nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string command = "\"" + WindowsPath(KESTRUNE_GUI_PROGRAM) + "\"";
    // Wine may refuse a start while the previous test's program is still being taken down.
    for (int attempt = 0; attempt < 3 && !m_started; ++attempt) {
      if (attempt > 0) Sleep(500);
      m_started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 nullptr, &startup, &m_process) != FALSE;
    }
    if (!m_started) ADD_FAILURE() << command << " not started: error " << GetLastError();
    SetEnvironmentVariableA("KESTRUNE_SIMULATE", nullptr);
  }
  ~KestruneProcess() {
    if (!m_started) return;
    if (m_main != nullptr) PostMessageA(m_main, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(m_process.hProcess, 30000) != WAIT_OBJECT_0) {
      TerminateProcess(m_process.hProcess, 1);
    }
    CloseHandle(m_process.hThread);
    CloseHandle(m_process.hProcess);
  }
  KestruneProcess(const KestruneProcess&) = delete;
  KestruneProcess& operator=(const KestruneProcess&) = delete;

  // The operator of the main window once it is up with its first discovery shown.
  std::optional<GuiOperator> MainWindow() {
    if (!m_started) return std::nullopt;
    GuiOperator finder(nullptr, m_process.dwThreadId);
    m_main = finder.WaitForDialog("Kestrune");
    if (m_main == nullptr) {
      ADD_FAILURE() << "no main window";
      return std::nullopt;
    }
    GuiOperator gui(m_main, m_process.dwThreadId);
    if (!gui.WaitUntil([&] { return !TextOf(gui.Control(kIdDeviceCount)).empty(); })) {
      ADD_FAILURE() << "no device count shown";
      return std::nullopt;
    }
    return gui;
  }

 private:
  bool m_started = false;
  PROCESS_INFORMATION m_process{};
  HWND m_main = nullptr;
};

// True when no box titled "Warnung" opens while the window answers a few rounds of messages.
bool NoWarning(const GuiOperator& gui) {
  for (int round = 0; round < 20; ++round) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(gui.Main(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &ignored);
    Sleep(50);
  }
  return FindWindowA("#32770", "Warnung") == nullptr;
}

TEST(KestruneProcessTest, WithoutTheSimulatorTheMachinesUsbHasNoDeviceAndNothingIsWrong) {
  KestruneProcess program(std::nullopt);
  std::optional<GuiOperator> gui = program.MainWindow();
  ASSERT_TRUE(gui);
  EXPECT_EQ(TextOf(gui->Control(kIdDeviceCount)), "0");
  EXPECT_EQ(TextOf(gui->Control(kIdVendorId)), "");
  EXPECT_TRUE(NoWarning(*gui));
  EXPECT_EQ(ScreenColour(gui->Control(kIdDeviceCount)), kBadColour);
}

TEST(KestruneProcessTest, TheDefaultSimulatedDeviceIsShown) {
  KestruneProcess program("1");
  std::optional<GuiOperator> gui = program.MainWindow();
  ASSERT_TRUE(gui);
  const std::pair<int, const char*> shown[] = {
      {kIdDeviceCount, "1"},    {kIdVendorId, "0483h"},  {kIdProductId, "DF11h"},
      {kIdDfuVersion, "011Ah"}, {kIdDeviceBcd, "2200h"}, {kIdFlashSize, "1024 kB"},
  };
  for (const auto& [id, text] : shown) EXPECT_EQ(TextOf(gui->Control(id)), text) << id;
  EXPECT_FALSE(TextOf(gui->Control(kIdUniqueId)).empty());
  EXPECT_EQ(ScreenColour(gui->Control(kIdDeviceCount)), kGoodColour);
  EXPECT_TRUE(NoWarning(*gui));
}

TEST(KestruneProcessTest, ABenchOfTwoDevicesIsCountedAndRefusesToStart) {
  testkit::TempFolder folder;
  testkit::WriteFileText(
      folder.File("bench.json"),
      R"({ "devices": [ { "persist": false }, { "persist": false, "instance": "b" } ] })");
  KestruneProcess program(folder.File("bench.json"));
  std::optional<GuiOperator> gui = program.MainWindow();
  ASSERT_TRUE(gui);
  EXPECT_EQ(TextOf(gui->Control(kIdDeviceCount)), "2");
  EXPECT_EQ(ScreenColour(gui->Control(kIdDeviceCount)), kDoubtfulColour);
  gui->Click(IDOK);
  const std::string refusal = gui->AnswerBox("Fehler");
  EXPECT_EQ(refusal.rfind("Es ist mehr als ein Cortex-M4 Gerät via USB angeschlossen !", 0), 0u)
      << refusal;
}

// A simulated device this test process has open is in use for the program, as a USB device
// another program holds: the operator gets the box that says so.
TEST(KestruneProcessTest, ADeviceAnotherProcessHoldsIsReportedInUse) {
  testkit::TempFolder folder;
  testkit::WriteFileText(folder.File("bench.json"),
                         R"({ "devices": [ { "instance": "held", "folder": "held" } ] })");
  SimBenchResult made = MakeSimBench(SystemClock(), folder.File("bench.json"), "");
  ASSERT_TRUE(made.bench) << made.error;
  made.bench->HoldDevicesAgainstOtherProcesses({});
  const std::string path = made.bench->PathOf(0);
  const auto held = made.bench->Open(path);
  ASSERT_TRUE(held);
  KestruneProcess program(folder.File("bench.json"));
  std::optional<GuiOperator> gui = program.MainWindow();
  ASSERT_TRUE(gui);
  EXPECT_EQ(gui->AnswerBox("Warnung"),
            "Das USB-Gerät\n\n" + path +
                "\n\nwird von einem anderen Programm benutzt.\n\nBitte schließen Sie das andere "
                "Programm und stecken Sie das Gerät ab und wieder an.");
}

}  // namespace
}  // namespace kestrune::win32::testing
