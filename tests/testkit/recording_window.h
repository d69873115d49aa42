#pragma once
// A window for tests: records every effect the dialog asks for, answers message boxes and the file
// dialog from a script, and queues posted commands and device events until the test delivers them.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/window.h"

namespace kestrune::testkit {

struct RecordedMessageBox {
  std::string caption;
  std::string text;
  MessageButtons buttons = MessageButtons::Ok;
  MessageIcon icon = MessageIcon::None;
};

// One effect, in the order the dialog asked for it.
struct RecordedEffect {
  enum class Kind {
    SetText,
    Enable,
    Show,
    Repaint,
    ProgressRange,
    ProgressPosition,
    MessageBox,
    FileDialog,
    StartTimer,
    EndDialog
  };
  Kind kind;
  int id = 0;
  std::string text;  // SetText, MessageBox
  int value = 0;     // Enable/Show (0/1), progress values, timer period, end result
};

// A command or device event posted to the window's thread.
struct PostedEvent {
  bool isCommand = true;
  int id = 0;  // command id
  DeviceEvent event = DeviceEvent::Arrival;
  std::string path;
};

class RecordingWindow final : public Window {
 public:
  void SetControlText(int id, std::string_view text) override;
  std::string ControlText(int id) override;
  void EnableControl(int id, bool enabled) override;
  void ShowControl(int id, bool shown) override;
  void RepaintControl(int id) override;
  std::vector<std::string> ComboItems(int id) override { return comboItems[id]; }
  int ComboSelection(int id) override;
  void ClearComboItems(int id) override { comboItems[id].clear(); }
  void AddComboItem(int id, std::string_view text) override { comboItems[id].emplace_back(text); }
  void SetProgressRange(int id, std::uint16_t upper) override;
  void SetProgressPosition(int id, int position) override;
  MessageResult ShowMessageBox(std::string_view caption, std::string_view text,
                               MessageButtons buttons, MessageIcon icon) override;
  std::optional<std::string> ChooseFile(const FileDialogRequest& request) override;
  void StartTimer(int id, std::uint32_t periodMs) override;
  void PostCommand(int id) override;
  void PostDeviceChange(DeviceEvent event, const std::string& path) override;
  void EndDialog(int result) override;

  // --- Script ---
  // Answers for the next message boxes, in order; without one a box gets the answer that refuses
  // (Ok for an OK box, Cancel, No).
  std::deque<MessageResult> answers;
  // Called while a box is open, after it was recorded (for example to look at another thread).
  std::function<void(const RecordedMessageBox&)> onMessageBox;
  // Called on the posting thread as a command is posted (for example to read what the poster
  // wrote for it); set it before the thread that posts starts.
  std::function<void(int)> onPostCommand;
  // What the file dialog returns; nothing: the operator cancels.
  std::optional<std::string> chosenFile;
  // The item selected in a combo box's list; none unless set here.
  std::map<int, int> comboSelection;

  // --- Record ---
  std::vector<RecordedEffect> effects;
  std::vector<RecordedMessageBox> messageBoxes;
  std::vector<FileDialogRequest> fileRequests;
  std::optional<int> endResult;
  // The lists of the combo boxes.
  std::map<int, std::vector<std::string>> comboItems;

  // Current state of a control as the effects left it (enabled and shown unless told otherwise).
  std::string Text(int id) const;
  bool Enabled(int id) const;
  bool Shown(int id) const;
  int Repaints(int id) const;
  int ProgressUpper() const { return m_progressUpper; }
  int ProgressPosition() const { return m_progressPosition; }
  // Texts a control was given, in order.
  std::vector<std::string> TextHistory(int id) const;
  void ClearRecord();

  // --- Posted events ---
  // Takes the next posted event, waiting up to `timeout` for one.
  std::optional<PostedEvent> WaitPosted(std::chrono::milliseconds timeout);
  std::vector<PostedEvent> TakePosted();

  // Hands posted events to `dialog` (OnCommand, OnDeviceChange) until command `untilId` was
  // delivered; false when none came within `timeout` of the previous event.
  template <class Dialog>
  bool Pump(Dialog& dialog, int untilId,
            std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    while (auto posted = WaitPosted(timeout)) {
      if (!posted->isCommand) {
        dialog.OnDeviceChange(posted->event, posted->path);
        continue;
      }
      dialog.OnCommand(posted->id);
      if (posted->id == untilId) return true;
    }
    return false;
  }

 private:
  std::map<int, std::string> m_texts;
  std::map<int, bool> m_enabled;
  std::map<int, bool> m_shown;
  int m_progressUpper = 100;
  int m_progressPosition = 0;

  std::mutex m_postedMutex;
  std::condition_variable m_postedChanged;
  std::deque<PostedEvent> m_posted;
};

}  // namespace kestrune::testkit
