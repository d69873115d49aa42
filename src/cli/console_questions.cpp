#include "cli/console_questions.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <string>

#include "app/operator_box.h"
#include "cli/interrupt_catcher.h"

namespace kestrune::cli {

namespace {

enum class Answer { Yes, No, Unclear };

Answer AnswerOf(std::string line) {
  std::erase_if(line, [](unsigned char c) { return std::isspace(c) != 0; });
  std::transform(line.begin(), line.end(), line.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (line == "j" || line == "ja" || line == "y" || line == "yes") return Answer::Yes;
  if (line == "n" || line == "nein" || line == "no") return Answer::No;
  return Answer::Unclear;
}

// One line of input without its end; false when the input ended (or was interrupted) first.
bool ReadLine(std::FILE* input, std::string& line) {
  line.clear();
  for (int c = std::fgetc(input); c != EOF; c = std::fgetc(input)) {
    if (c == '\n') return true;
    line += static_cast<char>(c);
  }
  const bool interrupted = std::ferror(input) != 0;
  std::clearerr(input);
  return !interrupted && !line.empty();
}

}  // namespace

std::FILE* ConsoleQuestions::StreamFor(MessageIcon icon) const {
  return (icon == MessageIcon::Stop || icon == MessageIcon::Warning) ? m_options.err
                                                                     : m_options.out;
}

std::FILE* ConsoleQuestions::QuestionStream(MessageIcon icon) const {
  return m_options.answers != nullptr && m_options.prompts != nullptr ? m_options.prompts
                                                                      : StreamFor(icon);
}

MessageResult ConsoleQuestions::ShowMessageBox(std::string_view caption, std::string_view text,
                                               MessageButtons buttons, MessageIcon icon,
                                               std::string_view hint) {
  const bool question = buttons != MessageButtons::Ok;
  std::FILE* stream = question ? QuestionStream(icon) : StreamFor(icon);
  m_lines.PrintLine(stream, std::string(caption) + ": " + std::string(text));
  if (icon == MessageIcon::Stop && m_options.errors != nullptr) {
    m_options.errors->emplace_back(text);
  }
  if (!question) return MessageResult::Ok;
  const bool yesNo = buttons == MessageButtons::YesNo;
  const MessageResult yes = yesNo ? MessageResult::Yes : MessageResult::Ok;
  const MessageResult refuse = yesNo ? MessageResult::No : MessageResult::Cancel;
  if (m_options.answers == nullptr) {
    m_lines.PrintLine(m_options.err, yesNo ? "Antwort: Nein (keine Eingabe möglich)"
                                           : "Antwort: Abbrechen (keine Eingabe möglich)");
    m_lines.PrintLine(m_options.err, "kestrune: no terminal to answer the question" +
                                         (hint.empty() ? std::string() : "; " + std::string(hint)));
    return refuse;
  }
  return AskUntilAnswered(stream, yesNo) ? yes : refuse;
}

bool ConsoleQuestions::TakeInterrupt() {
  if (InterruptCatcher::Take()) m_interrupted = true;
  return m_interrupted;
}

bool ConsoleQuestions::AskUntilAnswered(std::FILE* prompts, bool yesNo) {
  if (TakeInterrupt()) return false;
  std::string line;
  for (;;) {
    m_lines.Print(prompts, yesNo ? "[j/n] " : "[j = OK / n = Abbrechen] ");
    if (!ReadLine(m_options.answers, line)) {
      // The prompt's line ends here, not in the next output.
      m_lines.Print(prompts, "\n");
      m_interrupted = InterruptCatcher::TakeWithin(std::chrono::milliseconds(100));
      return false;
    }
    const Answer answer = AnswerOf(line);
    if (answer != Answer::Unclear) return answer == Answer::Yes;
  }
}

void ShowOperatorMessage(ConsoleQuestions& console, const OperatorMessage& message) {
  console.ShowMessageBox(message.caption, message.text, MessageButtons::Ok, IconOf(message.icon));
}

}  // namespace kestrune::cli
