#pragma once
// The dialog-window seam: everything the portable dialog logic asks of its window. Implemented by
// the Win32 dialog, the console front end and the recording window of the tests. An adapter only
// translates: it turns its own events (timer ticks, posted commands, device events, clicks) into
// calls of the dialog on the window's thread, and these operations into what it shows.
//
// Texts are 8-bit Windows-1252, as everywhere in the program. Every operation except PostCommand
// and PostDeviceChange is called on the window's thread only.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/device_bus.h"

namespace kestrune {

enum class MessageButtons { Ok, OkCancel, YesNo };
enum class MessageIcon { None, Stop, Warning, Information, Question };
enum class MessageResult { Ok, Cancel, Yes, No };

// What a file dialog shows. The filter is in the "Name|pattern|Name|pattern|" form.
struct FileDialogRequest {
  std::string title;
  std::string initialFileName;
  std::string defaultExtension;
  std::string filter;
};

class Window {
 public:
  virtual ~Window() = default;

  // Sets the text of control `id` (edit, static, combo box edit field). Unknown ids are ignored.
  virtual void SetControlText(int id, std::string_view text) = 0;
  // The current text of control `id` (for the combo box: its edit field); empty when unknown.
  virtual std::string ControlText(int id) = 0;
  // Enables or disables control `id` for input.
  virtual void EnableControl(int id, bool enabled) = 0;
  // Shows or hides control `id`.
  virtual void ShowControl(int id, bool shown) = 0;
  // Repaints control `id` at once (invalidate, erase, update now), so that its colour scheme is
  // asked for again before this call returns.
  virtual void RepaintControl(int id) = 0;

  // The list of combo box `id`: its items in order, the selected one (-1: none; typing in the
  // edit field ends a selection), emptying it and adding an item at its end.
  virtual std::vector<std::string> ComboItems(int id) = 0;
  virtual int ComboSelection(int id) = 0;
  virtual void ClearComboItems(int id) = 0;
  virtual void AddComboItem(int id, std::string_view text) = 0;

  // The progress bar `id`: its range 0..upper (16 bits) and its position.
  virtual void SetProgressRange(int id, std::uint16_t upper) = 0;
  virtual void SetProgressPosition(int id, int position) = 0;

  // Shows a modal message box owned by the window and returns the operator's answer. Blocks the
  // window's thread until it is answered.
  virtual MessageResult ShowMessageBox(std::string_view caption, std::string_view text,
                                       MessageButtons buttons, MessageIcon icon) = 0;

  // Shows the file dialog; returns the chosen full path, or nothing when the operator cancelled.
  virtual std::optional<std::string> ChooseFile(const FileDialogRequest& request) = 0;

  // Starts a periodic timer; every `periodMs` the adapter calls the dialog's OnTimer(id).
  virtual void StartTimer(int id, std::uint32_t periodMs) = 0;

  // Thread-safe, returns at once: queues command `id` for the window's thread, where the adapter
  // hands it to the dialog's OnCommand(id) in the order posted. The worker reports through this.
  virtual void PostCommand(int id) = 0;
  // Thread-safe, returns at once: queues a device arrival or removal for the window's thread,
  // where the adapter hands it to the dialog's OnDeviceChange. The device bus reports through this.
  virtual void PostDeviceChange(DeviceEvent event, const std::string& path) = 0;

  // Ends the dialog with `result` (IDOK or IDCANCEL); the adapter closes the window after the
  // current handler returned.
  virtual void EndDialog(int result) = 0;
};

}  // namespace kestrune
