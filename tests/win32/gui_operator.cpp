#include "gui_operator.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "app/run_commands.h"
#include "win32/win32_window.h"

namespace kestrune::win32::testing {
namespace {

constexpr auto kPatience = std::chrono::seconds(60);
constexpr auto kPoll = std::chrono::milliseconds(20);

struct DialogSearch {
  const char* caption;
  HWND except;
  HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM data) {
  auto& search = *reinterpret_cast<DialogSearch*>(data);
  char className[16] = {};
  GetClassNameA(window, className, sizeof className);
  if (window != search.except && IsWindowVisible(window) && std::string(className) == "#32770" &&
      WindowText(window) == search.caption) {
    search.found = window;
    return FALSE;
  }
  return TRUE;
}

HWND FindThreadDialog(DWORD thread, const char* caption, HWND except) {
  DialogSearch search{caption, except, nullptr};
  EnumThreadWindows(thread, FindDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

BOOL CALLBACK CollectStatic(HWND window, LPARAM data) {
  char className[16] = {};
  GetClassNameA(window, className, sizeof className);
  const std::string text = WindowText(window);
  const bool icon = (GetWindowLongPtrA(window, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
  if (_stricmp(className, "Static") == 0 && !icon && !text.empty()) {
    *reinterpret_cast<std::string*>(data) += text;
  }
  return TRUE;
}

BOOL CALLBACK CloseOthers(HWND window, LPARAM main) {
  if (window != reinterpret_cast<HWND>(main) && IsWindowVisible(window)) {
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    PostMessageA(window, WM_CLOSE, 0, 0);
  }
  return TRUE;
}

}  // namespace

std::string GuiOperator::Text(int id) const {
  return WindowText(Control(id));
}

void GuiOperator::Tick(int count) const {
  for (int i = 0; i < count; ++i) SendMessageA(m_main, WM_TIMER, ID_POLL_TIMER, 0);
}

void GuiOperator::TypeInto(HWND dialog, int id, const std::string& text) {
  HWND control = GetDlgItem(dialog, id);
  HWND edit = GetWindow(control, GW_CHILD);
  if (edit == nullptr) edit = control;
  SendMessageA(edit, EM_SETSEL, 0, -1);
  SendMessageA(edit, WM_CHAR, VK_BACK, 0);
  for (char c : text) SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(c), 0);
}

void GuiOperator::PostClick(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

bool GuiOperator::WaitUntil(const std::function<bool()>& condition) const {
  const auto end = std::chrono::steady_clock::now() + kPatience;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(kPoll);
  }
  return true;
}

bool GuiOperator::StartRun() const {
  Click(IDOK);
  return WaitUntil([this] { return !Enabled(IDOK); });
}

bool GuiOperator::WaitUntilIdle() const {
  return WaitUntil([this] { return Enabled(IDOK); });
}

HWND GuiOperator::WaitForDialog(const char* caption) const {
  HWND found = nullptr;
  WaitUntil([&] { return (found = FindThreadDialog(m_guiThread, caption, m_main)) != nullptr; });
  return found;
}

std::string GuiOperator::MessageText(HWND box) {
  std::string text;
  EnumChildWindows(box, CollectStatic, reinterpret_cast<LPARAM>(&text));
  return text;
}

std::string GuiOperator::AnswerBox(const char* caption, int answer) const {
  HWND box = WaitForDialog(caption);
  if (box == nullptr) return "(no box \"" + std::string(caption) + "\")";
  const std::string text = MessageText(box);
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
  WaitUntil([box] { return !IsWindow(box); });
  return text;
}

COLORREF GuiOperator::PaintedColour(int id) const {
  HWND control = Control(id);
  RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  HDC dc = GetDC(control);
  const COLORREF colour = GetPixel(dc, 2, 2);
  ReleaseDC(control, dc);
  return colour;
}

void RunWithOperator(const std::function<void()>& show, const char* caption,
                     const std::function<void(GuiOperator&)>& script) {
  const DWORD guiThread = GetCurrentThreadId();
  std::atomic<bool> closed{false};
  std::thread driver([&] {
    HWND main = nullptr;
    GuiOperator gui(nullptr, guiThread);
    gui.WaitUntil([&] {
      return closed || (main = FindThreadDialog(guiThread, caption, nullptr)) != nullptr;
    });
    if (main != nullptr) {
      GuiOperator op(main, guiThread);
      script(op);
    } else {
      ADD_FAILURE() << "the window \"" << caption << "\" did not open";
    }
    // Whatever the script left open goes: boxes first, then the window, once no run is active.
    gui.WaitUntil([&] {
      if (closed) return true;
      EnumThreadWindows(guiThread, CloseOthers, reinterpret_cast<LPARAM>(main));
      if (main != nullptr) GuiOperator::PostClick(main, IDCANCEL);
      return false;
    });
  });
  show();
  closed = true;
  driver.join();
}

}  // namespace kestrune::win32::testing
