#pragma once
// The console as the window that a use case's message boxes appear in: the status line's texts
// become lines, message boxes printed texts whose questions are asked on the terminal.

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "app/window.h"
#include "cli/console_lines.h"
#include "cli/console_options.h"

namespace kestrune::cli {

class ConsoleWindow final : public Window {
 public:
  explicit ConsoleWindow(ConsoleOptions options) : m_options(std::move(options)) {}

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
  // A run's progress is the console run's to show.
  void SetProgressRange(int, std::uint16_t) override {}
  void SetProgressPosition(int, int) override {}
  MessageResult ShowMessageBox(std::string_view caption, std::string_view text,
                               MessageButtons buttons, MessageIcon icon) override;
  // There is no file dialog on the console: the operator names the file on the command line.
  std::optional<std::string> ChooseFile(const FileDialogRequest&) override { return {}; }
  // Nothing is served after a question: timers, posted commands and device events go unheard.
  void StartTimer(int, std::uint32_t) override {}
  void PostCommand(int) override {}
  void PostDeviceChange(DeviceEvent, const std::string&) override {}
  void EndDialog(int) override {}

 private:
  ConsoleOptions m_options;
  ConsoleLines m_lines{m_options};
  std::map<int, std::string> m_texts;
};

}  // namespace kestrune::cli
