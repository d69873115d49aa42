// The browse button's bitmap, file drop on the combo box and the file-dialog hook.

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "win32/button_bitmap.h"
#include "win32/file_dialog_hook.h"
#include "win32/file_drop.h"
#include "win32/resource.h"
#include "win32/win32_window.h"

namespace kestrune::win32 {
namespace {

TEST(ButtonBitmapTest, DisabledGreysAreNeverTheTransparentGrey) {
  const struct {
    BYTE red, green, blue, grey;
  } cases[] = {
      {0, 0, 0, 144},
      {255, 255, 255, 208},
      {192, 192, 192, 191},  // L is exactly 192
      {255, 0, 0, 154},      // L = 43
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DisabledGrey(c.red, c.green, c.blue), c.grey) << int(c.red) << "," << int(c.green);
  }
}

TEST(ButtonBitmapTest, TheButtonShowsBitmap129AndAMissingBitmapFails) {
  HWND button = CreateWindowA("BUTTON", "", WS_POPUP | BS_PUSHBUTTON | BS_BITMAP, 0, 0, 24, 24,
                              nullptr, nullptr, nullptr, nullptr);
  EXPECT_FALSE(SetButtonBitmap(button, 4711));
  ASSERT_TRUE(SetButtonBitmap(button, IDB_FOLDER));
  // Classic look: the bitmap is the button's until released. Themed: an image list instead.
  if (HGDIOBJ bitmap =
          reinterpret_cast<HGDIOBJ>(SendMessageA(button, BM_GETIMAGE, IMAGE_BITMAP, 0))) {
    BITMAP size{};
    ASSERT_NE(GetObjectA(bitmap, sizeof size, &size), 0);
    EXPECT_EQ(size.bmWidth, 16);
    EXPECT_EQ(size.bmHeight, 14);
    ReleaseButtonBitmap(button);
    EXPECT_EQ(GetObjectA(bitmap, sizeof size, &size), 0);
  }
  DestroyWindow(button);
}

class FileDropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSA recorder{};
    recorder.lpfnWndProc = Record;
    recorder.lpszClassName = "KestruneDropParent";
    RegisterClassA(&recorder);
    parent = CreateWindowA("KestruneDropParent", "", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr,
                           nullptr, nullptr);
    combo = CreateWindowA("COMBOBOX", "", WS_CHILD | CBS_DROPDOWN, 0, 0, 280, 100, parent,
                          reinterpret_cast<HMENU>(1000), nullptr, nullptr);
    commands.clear();
  }
  void TearDown() override { DestroyWindow(parent); }
  static LRESULT CALLBACK Record(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) commands.push_back(wParam);
    return DefWindowProcA(window, message, wParam, lParam);
  }
  static HDROP Drop(const std::string& files) {
    HGLOBAL drop = GlobalAlloc(GHND, sizeof(DROPFILES) + files.size() + 1);
    auto* header = static_cast<DROPFILES*>(GlobalLock(drop));
    header->pFiles = sizeof(DROPFILES);
    std::memcpy(reinterpret_cast<char*>(header) + sizeof(DROPFILES), files.data(), files.size());
    GlobalUnlock(drop);
    return static_cast<HDROP>(drop);
  }
  static void Pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  }

  static inline std::vector<WPARAM> commands;
  HWND parent = nullptr;
  HWND combo = nullptr;
};

TEST_F(FileDropTest, TheFirstOfSeveralFilesBecomesTheTextWithOneEditChange) {
  ASSERT_TRUE(AttachFileDrop(combo));
  const auto comboProc = GetWindowLongPtrA(combo, GWLP_USERDATA);
  ASSERT_TRUE(AttachFileDrop(combo));
  EXPECT_EQ(GetWindowLongPtrA(combo, GWLP_USERDATA), comboProc);

  SendMessageA(
      combo, WM_DROPFILES,
      reinterpret_cast<WPARAM>(Drop(std::string("C:\\a\\first.bin\0C:\\b.bin\0C:\\c\0", 31))), 0);
  Pump();
  EXPECT_EQ(WindowText(combo), "C:\\a\\first.bin");
  EXPECT_EQ(commands, (std::vector<WPARAM>{MAKEWPARAM(1000, CBN_EDITCHANGE)}));

  // Onto the edit field itself.
  SendMessageA(GetWindow(combo, GW_CHILD), WM_DROPFILES,
               reinterpret_cast<WPARAM>(Drop(std::string("C:\\folder\0", 10))), 0);
  Pump();
  EXPECT_EQ(WindowText(combo), "C:\\folder");
  EXPECT_EQ(commands.size(), 2u);
}

TEST_F(FileDropTest, AComboBoxWithoutEditFieldIsNotAttached) {
  HWND list = CreateWindowA("COMBOBOX", "", WS_CHILD | CBS_DROPDOWNLIST, 0, 0, 280, 100, parent,
                            reinterpret_cast<HMENU>(1001), nullptr, nullptr);
  const auto procedure = GetWindowLongPtrA(list, GWLP_WNDPROC);
  EXPECT_FALSE(AttachFileDrop(list));
  EXPECT_EQ(GetWindowLongPtrA(list, GWLP_WNDPROC), procedure);
}

// The caller's hook sees the dialog; it measures the frame once it is shown and closes it.
UINT_PTR CALLBACK MeasureAndClose(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
  static RECT* measured = nullptr;
  if (message == WM_INITDIALOG) {
    measured = reinterpret_cast<RECT*>(reinterpret_cast<OPENFILENAMEA*>(lParam)->lCustData);
    SetTimer(dialog, 1, 10, nullptr);
  }
  if (message == WM_TIMER && IsWindowVisible(GetParent(dialog))) {
    KillTimer(dialog, 1);
    GetWindowRect(GetParent(dialog), measured);
    PostMessageA(GetParent(dialog), WM_COMMAND, IDCANCEL, 0);
  }
  return 0;
}

TEST(FileDialogHookTest, TheFirstDialogIsResizedAndTheCallersHookAndFlagsSurvive) {
  InstallFileDialogHook(nullptr);
  RECT sizes[2] = {};
  for (RECT& size : sizes) {
    char file[MAX_PATH] = "*.bin";
    OPENFILENAMEA request{};
    request.lStructSize = sizeof request;
    request.lpstrFile = file;
    request.nMaxFile = MAX_PATH;
    request.Flags = OFN_EXPLORER | OFN_ENABLEHOOK;
    request.lpfnHook = MeasureAndClose;
    request.lCustData = reinterpret_cast<LPARAM>(&size);
    EXPECT_FALSE(GetSaveFileNameA(&request));
    EXPECT_EQ(request.lpfnHook, MeasureAndClose);
    EXPECT_EQ(request.Flags & ~OFN_READONLY, static_cast<DWORD>(OFN_EXPLORER | OFN_ENABLEHOOK));
  }
  // The first is given 600 x 450; Wine's file dialog keeps itself at least as wide as its
  // template, and gives later dialogs the size the last one had.
  EXPECT_EQ(sizes[0].bottom - sizes[0].top, 450);
  EXPECT_GE(sizes[0].right - sizes[0].left, 600);
}

}  // namespace
}  // namespace kestrune::win32
