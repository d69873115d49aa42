#pragma once
// Message boxes on the console: printed as "caption: text" lines (errors and warnings on stderr),
// and their questions asked on the terminal where there is one to answer them.

#include <cstdio>
#include <string_view>

#include "app/window.h"
#include "cli/console_lines.h"
#include "cli/console_options.h"
#include "serials/operator_message.h"

namespace kestrune::cli {

class ConsoleQuestions {
 public:
  explicit ConsoleQuestions(ConsoleOptions options) : m_options(std::move(options)) {}

  // A question is asked on the terminal until the answer is yes or no; end of input, Ctrl-C, or
  // no terminal at all give the answer that refuses (No, Cancel). Without a terminal the refusal
  // says so on stderr, with `hint` (the option that answers the question in advance).
  MessageResult ShowMessageBox(std::string_view caption, std::string_view text,
                               MessageButtons buttons, MessageIcon icon,
                               std::string_view hint = {});

  // Where what belongs to a question goes: the terminal that answers it, or without one the
  // stream of its kind.
  std::FILE* QuestionStream(MessageIcon icon) const;

  // True once Ctrl-C answered a question: the operator stopped the command.
  bool Interrupted() const { return m_interrupted; }
  // Takes a pending Ctrl-C as the answer to a question the options answered in advance.
  bool TakeInterrupt();

 private:
  std::FILE* StreamFor(MessageIcon icon) const;
  // The answer typed on the terminal; false at the end of input or at Ctrl-C.
  bool AskUntilAnswered(std::FILE* prompts, bool yesNo);

  ConsoleOptions m_options;
  ConsoleLines m_lines{m_options};
  bool m_interrupted = false;
};

// A message the core handed back, as a box with an OK button.
void ShowOperatorMessage(ConsoleQuestions& console, const OperatorMessage& message);

}  // namespace kestrune::cli
