#pragma once
// The operator of the tests: drives the real main window from a second thread, as clicks and keys
// arrive at it (posted commands, characters into the edit fields), and reads what the window
// shows (texts, enabled state, message boxes, painted colours). Waits end when the condition
// holds or after a minute, never on time alone.

#include <windows.h>

#include <functional>
#include <string>

namespace kestrune::win32::testing {

// The colours of the schemes as the window paints them.
inline constexpr COLORREF kGoodColour = RGB(100, 200, 100);
inline constexpr COLORREF kBadColour = RGB(255, 178, 178);
inline constexpr COLORREF kDoubtfulColour = RGB(255, 222, 178);

class GuiOperator {
 public:
  GuiOperator(HWND main, DWORD guiThread) : m_main(main), m_guiThread(guiThread) {}

  HWND Main() const { return m_main; }
  HWND Control(int id) const { return GetDlgItem(m_main, id); }
  std::string Text(int id) const;
  bool Enabled(int id) const { return IsWindowEnabled(Control(id)) != FALSE; }
  bool Visible(int id) const { return IsWindowVisible(Control(id)) != FALSE; }

  // One tick of the polling timer (the window's own timer is off in the tests).
  void Tick(int count = 1) const;
  // Replaces the text of edit `id` (the combo box's edit field for the combo box) key by key.
  void Type(int id, const std::string& text) const { TypeInto(m_main, id, text); }
  static void TypeInto(HWND dialog, int id, const std::string& text);
  // A click on button `id`; returns at once (the click may open a box).
  void Click(int id) const { PostClick(m_main, id); }
  static void PostClick(HWND dialog, int id);

  // The top-level dialog window titled `caption` that the window's thread shows besides the main
  // window (a message box, the about box, the serial-number dialog); null after a minute.
  HWND WaitForDialog(const char* caption) const;
  // The text of a message box.
  static std::string MessageText(HWND box);
  // Waits for a box titled `caption`, returns its text and answers it with button `answer`.
  std::string AnswerBox(const char* caption, int answer = IDOK) const;
  bool WaitUntil(const std::function<bool()>& condition) const;
  // Clicks OK and waits until the run has started.
  bool StartRun() const;
  // Waits until no run is active: OK is enabled again.
  bool WaitUntilIdle() const;

  // The colour control `id` is painted in, a pixel inside its border after a repaint.
  COLORREF PaintedColour(int id) const;

 private:
  HWND m_main;
  DWORD m_guiThread;
};

// Runs `script` on a second thread while this thread runs the window shown by `show` (which
// returns when the window closed). The script gets the operator once the window titled
// `caption` is up; whatever it leaves open afterwards is closed.
void RunWithOperator(const std::function<void()>& show, const char* caption,
                     const std::function<void(GuiOperator&)>& script);

}  // namespace kestrune::win32::testing
