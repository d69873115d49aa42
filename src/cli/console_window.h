#pragma once
// The console front end of the main window: status texts become lines, the progress bar a bar
// redrawn in place on a terminal, message boxes printed texts whose questions are asked on the
// terminal. The caller's thread is the window's thread: RunUntil hands it timer ticks, posted
// commands, device events and Ctrl-C (as "Abbrechen") in turn.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/programmer_dialog.h"
#include "app/window.h"

namespace kestrune::cli {

struct ConsoleWindowOptions {
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  // Where answers to questions are read; null when there is no terminal to ask.
  std::FILE* answers = nullptr;
  // Draw a progress bar (the output is a terminal).
  bool progressBar = false;
  // Print progress as a line at each quarter, where bars of several devices on one console
  // would overwrite each other. Without either, progress is not shown.
  bool progressQuarters = false;
  // The bytes the whole bar stands for (the firmware file); with them the bar shows bytes done,
  // rate and elapsed time.
  std::uint64_t progressBytes = 0;
  // Put before every line, so that the lines of several devices on one console stay apart.
  std::string linePrefix;
  // Collects the texts of error boxes (Windows-1252), for a result printed as JSON.
  std::vector<std::string>* errors = nullptr;
  // Take Ctrl-C from the InterruptCatcher; false where one owner hands it to many (Cancel).
  bool takesInterrupts = true;
};

// Minutes and seconds ("01:05"), as a stopwatch shows them.
std::string ElapsedText(double seconds);

// The console of a command: its output streams, and questions asked on the terminal when stdin
// is one. The progress bar is left to the command.
ConsoleWindowOptions ConsoleOptionsFor(std::FILE* out, std::FILE* err);

class ConsoleWindow final : public Window {
 public:
  explicit ConsoleWindow(ConsoleWindowOptions options) : m_options(options) {}

  void SetControlText(int id, std::string_view text) override;
  std::string ControlText(int id) override;
  void EnableControl(int, bool) override {}
  void ShowControl(int, bool) override {}
  void RepaintControl(int) override {}
  // The console shows no list: the firmware path comes from the command line.
  std::vector<std::string> ComboItems(int) override { return {}; }
  int ComboSelection(int) override { return -1; }
  void ClearComboItems(int) override {}
  void AddComboItem(int, std::string_view) override {}
  void SetProgressRange(int id, std::uint16_t upper) override;
  void SetProgressPosition(int id, int position) override;
  MessageResult ShowMessageBox(std::string_view caption, std::string_view text,
                               MessageButtons buttons, MessageIcon icon) override;
  // There is no file dialog on the console: the operator names the file on the command line.
  std::optional<std::string> ChooseFile(const FileDialogRequest&) override { return {}; }
  void StartTimer(int id, std::uint32_t periodMs) override;
  void PostCommand(int id) override;
  void PostDeviceChange(DeviceEvent event, const std::string& path) override;
  void EndDialog(int result) override;

  // Serves `dialog` until `done()` holds after an event, or the dialog ended. A Ctrl-C caught by
  // an InterruptCatcher reaches the dialog as OnCancel.
  void RunUntil(ProgrammerDialog& dialog, const std::function<bool()>& done);
  // Hands "Abbrechen" to the dialog served by RunUntil, from any thread.
  void Cancel();

 private:
  struct Posted {
    bool isCommand = true;
    int id = 0;
    DeviceEvent event = DeviceEvent::Arrival;
    std::string path;
  };
  void Print(std::FILE* stream, std::string_view text);
  void PrintLine(std::FILE* stream, std::string_view text);
  void EraseBar();
  void DrawBar(int position);
  double SecondsSinceProgressStart() const;

  ConsoleWindowOptions m_options;
  std::map<int, std::string> m_texts;
  int m_timerId = 0;
  std::uint32_t m_timerPeriodMs = 0;
  bool m_ended = false;
  int m_progressUpper = 0;
  int m_quartersShown = 0;
  bool m_barDrawn = false;
  std::chrono::steady_clock::time_point m_progressStart;
  std::atomic<bool> m_cancelRequested{false};

  std::mutex m_postedMutex;
  std::condition_variable m_postedChanged;
  std::deque<Posted> m_posted;
};

// While it lives, Ctrl-C (SIGINT) does not end the process but is handed to RunUntil as
// "Abbrechen".
class InterruptCatcher {
 public:
  InterruptCatcher();
  ~InterruptCatcher();
  InterruptCatcher(const InterruptCatcher&) = delete;
  InterruptCatcher& operator=(const InterruptCatcher&) = delete;

  // Takes a pending Ctrl-C. Raise() makes one pending, as the key would (tests).
  static bool Take();
  static void Raise();

 private:
  void (*m_previous)(int) = nullptr;
};

}  // namespace kestrune::cli
