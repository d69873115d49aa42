#pragma once
// The main window (template 102): the Win32 dialog around ProgrammerDialog. It turns the window's
// messages into calls of the portable dialog, paints the colour schemes, keeps the system menu
// with the about box, the minimised icon and the device notifications, and runs the serial-number
// dialog of "MAC setzen" as a child of the main window.

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/programmer_dialog.h"
#include "win32/colour_brushes.h"
#include "win32/device_notifications.h"
#include "win32/dialog_base.h"
#include "win32/problem_boxes.h"
#include "win32/win32_window.h"
#include "win32/window_decorations.h"

namespace kestrune::win32 {

struct ProgrammerWindowSetup {
  StdfuLibrary& stdfu;
  DeviceBus& bus;
  Clock& clock;
  std::string infosFolder;
  JobRoutine runJob;
  const ColourBrushes& brushes;
  PathHistoryStore& pathHistory;
  // False: no real timer; the ticks come as WM_TIMER from the caller (tests).
  bool timers = true;
  // The device-interface classes the window registers for, asked again after each arrival (the
  // bus may have learnt more); empty: the two DFU classes.
  std::function<std::vector<Guid>()> notificationClasses;
  // Where the window shows what the operator must be told; null: nothing to tell.
  ProblemBoxes* problems = nullptr;
};

class ProgrammerWindow final : public DialogBase {
 public:
  explicit ProgrammerWindow(const ProgrammerWindowSetup& setup);
  ~ProgrammerWindow() override;

  // Runs the window modally until it is closed.
  INT_PTR Run();
  const ProgrammerDialog& Dialog() const { return m_dialog; }

 private:
  std::optional<INT_PTR> OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void OnInitDialog();
  std::optional<INT_PTR> OnCommand(WPARAM wParam);
  std::optional<INT_PTR> OnPaint();
  INT_PTR OnDeviceChange(WPARAM event, LPARAM data);
  void OnDeviceEvent();
  void RegisterNotifications();
  bool RunSerialNumberDialog(SerialNumberDialog& dialog);

  Win32Window m_window;
  const ColourBrushes& m_brushes;
  BrowseButtonBitmap m_browseBitmap{m_window};
  ComboFileDrop m_fileDrop{m_window};
  ProgrammerDialog m_dialog;
  std::function<std::vector<Guid>()> m_notificationClasses;
  NotificationRegistrations m_notifications;
  ProblemBoxes* m_problems;
  HICON m_icon = nullptr;
  HICON m_smallIcon = nullptr;
  // While the serial-number dialog is open, ticks are skipped and device events wait for its end.
  bool m_serialDialogOpen = false;
};

}  // namespace kestrune::win32
