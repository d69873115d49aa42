#pragma once
// The window seam over a Win32 dialog: controls by id, message boxes owned by the dialog, the
// file dialog, a timer, and commands and device events posted to the dialog's thread. Device
// events wait in a queue of their own (they carry a path) and are announced by kDeviceEventMessage.

#include <windows.h>

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/window.h"

namespace kestrune::win32 {

// Posted to the dialog for each queued device event.
inline constexpr UINT kDeviceEventMessage = WM_APP + 1;

class Win32Window final : public Window {
 public:
  // `timers` false: StartTimer does nothing, and the caller sends WM_TIMER itself (tests).
  explicit Win32Window(bool timers = true) : m_timers(timers) {}

  void Attach(HWND dialog) { m_hwnd = dialog; }
  HWND Handle() const { return m_hwnd; }

  void SetControlText(int id, std::string_view text) override;
  std::string ControlText(int id) override;
  void EnableControl(int id, bool enabled) override;
  void ShowControl(int id, bool shown) override;
  void RepaintControl(int id) override;
  std::vector<std::string> ComboItems(int id) override;
  int ComboSelection(int id) override;
  void ClearComboItems(int id) override;
  void AddComboItem(int id, std::string_view text) override;
  void SetProgressRange(int id, std::uint16_t upper) override;
  void SetProgressPosition(int id, int position) override;
  MessageResult ShowMessageBox(std::string_view caption, std::string_view text,
                               MessageButtons buttons, MessageIcon icon) override;
  std::optional<std::string> ChooseFile(const FileDialogRequest& request) override;
  void StartTimer(int id, std::uint32_t periodMs) override;
  void PostCommand(int id) override;
  void PostDeviceChange(DeviceEvent event, const std::string& path) override;
  void EndDialog(int result) override;

  // The oldest queued device event, if any.
  std::optional<std::pair<DeviceEvent, std::string>> TakeDeviceEvent();
  // Queues a device event without announcing it (one that must wait for a later moment).
  void HoldDeviceEvent(DeviceEvent event, const std::string& path);

 private:
  HWND m_hwnd = nullptr;
  bool m_timers;
  std::mutex m_eventsMutex;
  std::deque<std::pair<DeviceEvent, std::string>> m_events;
};

// The text of a window (a control, a message box's static).
std::string WindowText(HWND window);

}  // namespace kestrune::win32
