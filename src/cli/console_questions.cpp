#include "cli/console_questions.h"

#include <cstdio>
#include <string>

#include "app/operator_box.h"

namespace kestrune::cli {

namespace {

bool IsYes(const char* line) {
  return line[0] == 'j' || line[0] == 'J' || line[0] == 'y' || line[0] == 'Y';
}

}  // namespace

MessageResult ConsoleQuestions::ShowMessageBox(std::string_view caption, std::string_view text,
                                               MessageButtons buttons, MessageIcon icon) {
  std::FILE* stream =
      (icon == MessageIcon::Stop || icon == MessageIcon::Warning) ? m_options.err : m_options.out;
  m_lines.PrintLine(stream, std::string(caption) + ": " + std::string(text));
  if (icon == MessageIcon::Stop && m_options.errors != nullptr) {
    m_options.errors->emplace_back(text);
  }
  if (buttons == MessageButtons::Ok) return MessageResult::Ok;
  const bool yesNo = buttons == MessageButtons::YesNo;
  const MessageResult yes = yesNo ? MessageResult::Yes : MessageResult::Ok;
  const MessageResult refuse = yesNo ? MessageResult::No : MessageResult::Cancel;
  if (m_options.answers == nullptr) {
    m_lines.PrintLine(stream, yesNo ? "Antwort: Nein (keine Eingabe möglich)"
                                    : "Antwort: Abbrechen (keine Eingabe möglich)");
    return refuse;
  }
  m_lines.Print(m_options.out, yesNo ? "[j/n] " : "[j = OK / n = Abbrechen] ");
  char line[64] = {};
  if (std::fgets(line, sizeof line, m_options.answers) == nullptr) return refuse;
  return IsYes(line) ? yes : refuse;
}

void ShowOperatorMessage(ConsoleQuestions& console, const OperatorMessage& message) {
  console.ShowMessageBox(message.caption, message.text, MessageButtons::Ok, IconOf(message.icon));
}

}  // namespace kestrune::cli
