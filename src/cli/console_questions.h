#pragma once
// Message boxes on the console: printed as "caption: text" lines (errors and warnings on stderr),
// and their questions asked on the terminal where there is one to answer them.

#include <string_view>

#include "app/window.h"
#include "cli/console_lines.h"
#include "cli/console_options.h"
#include "serials/operator_message.h"

namespace kestrune::cli {

class ConsoleQuestions {
 public:
  explicit ConsoleQuestions(ConsoleOptions options) : m_options(std::move(options)) {}

  // Without a terminal a question gets the answer that refuses (No, Cancel).
  MessageResult ShowMessageBox(std::string_view caption, std::string_view text,
                               MessageButtons buttons, MessageIcon icon);

 private:
  ConsoleOptions m_options;
  ConsoleLines m_lines{m_options};
};

// A message the core handed back, as a box with an OK button.
void ShowOperatorMessage(ConsoleQuestions& console, const OperatorMessage& message);

}  // namespace kestrune::cli
