// Message boxes on the console: printed, and questions asked where there is a terminal.

#include <gtest/gtest.h>

#include "cli/console_questions.h"
#include "cli/interrupt_catcher.h"
#include "testkit/captured_stream.h"

namespace kestrune::cli {
namespace {

TEST(ConsoleQuestionsTest, QuestionsAreAskedOnTheTerminalUntilAnswered) {
  struct Case {
    MessageButtons buttons;
    const char* typed;  // null: no terminal
    MessageResult expected;
    int prompts;         // how often the question was put
    bool endsWithBreak;  // the prompt's line ended by the program (end of input)
  };
  const Case cases[] = {
      {MessageButtons::YesNo, "j\n", MessageResult::Yes, 1, false},
      {MessageButtons::YesNo, " Nein \n", MessageResult::No, 1, false},
      {MessageButtons::YesNo, "ok\n\nyes\n", MessageResult::Yes, 3, false},
      {MessageButtons::YesNo, "jein\n", MessageResult::No, 2, true},
      {MessageButtons::YesNo, "", MessageResult::No, 1, true},
      {MessageButtons::YesNo, nullptr, MessageResult::No, 0, false},
      {MessageButtons::OkCancel, "J\n", MessageResult::Ok, 1, false},
      {MessageButtons::OkCancel, "n", MessageResult::Cancel, 1, false},
      {MessageButtons::OkCancel, nullptr, MessageResult::Cancel, 0, false},
      {MessageButtons::Ok, nullptr, MessageResult::Ok, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed ? c.typed : "(no terminal)");
    testkit::CapturedStream out;
    testkit::CapturedStream err;
    testkit::CapturedStream terminal;
    testkit::CapturedStream answers;
    if (c.typed != nullptr) {
      std::fputs(c.typed, answers.File());
      std::rewind(answers.File());
    }
    ConsoleOptions options;
    options.out = out.File();
    options.err = err.File();
    options.answers = c.typed ? answers.File() : nullptr;
    options.prompts = terminal.File();
    ConsoleQuestions window(options);
    EXPECT_EQ(window.ShowMessageBox("Warnung", "Soll diese ersetzt werden ?", c.buttons,
                                    MessageIcon::Warning, "--yes answers it"),
              c.expected);
    EXPECT_FALSE(window.Interrupted());
    const std::string asked = terminal.Text();
    std::size_t prompts = 0;
    for (std::size_t at = asked.find("[j"); at != std::string::npos;
         at = asked.find("[j", at + 1)) {
      ++prompts;
    }
    EXPECT_EQ(prompts, static_cast<std::size_t>(c.prompts)) << asked;
    if (c.prompts > 0) {
      // Asked on the terminal, whatever stdout and stderr are.
      EXPECT_EQ(asked.rfind("Warnung: Soll diese ersetzt werden ?\n", 0), 0u) << asked;
      EXPECT_EQ(err.Text(), "");
      EXPECT_EQ(asked.ends_with("\n"), c.endsWithBreak) << asked;
    } else {
      EXPECT_EQ(asked, "");
      EXPECT_EQ(err.Text().rfind("Warnung: Soll diese ersetzt werden ?\n", 0), 0u);
    }
    // Refused for want of a terminal: said on stderr, with the option that answers in advance.
    const bool unanswerable = c.typed == nullptr && c.buttons != MessageButtons::Ok;
    EXPECT_EQ(err.Text().find("kestrune: no terminal to answer the question; --yes answers it\n") !=
                  std::string::npos,
              unanswerable)
        << err.Text();
    EXPECT_EQ(out.Text(), "");
  }
}

TEST(ConsoleQuestionsTest, CtrlCAnswersWithTheRefusalAndIsRemembered) {
  const InterruptCatcher interrupts;
  testkit::CapturedStream terminal;
  testkit::CapturedStream answers;
  std::fputs("j\n", answers.File());
  std::rewind(answers.File());
  ConsoleOptions options;
  options.answers = answers.File();
  options.prompts = terminal.File();
  ConsoleQuestions window(options);
  InterruptCatcher::Raise();
  EXPECT_EQ(window.ShowMessageBox("Frage", "Diese Seriennummer vergeben ?",
                                  MessageButtons::OkCancel, MessageIcon::Question),
            MessageResult::Cancel);
  EXPECT_TRUE(window.Interrupted());
}

TEST(ConsoleQuestionsTest, InformationGoesToStdoutInUtf8) {
  testkit::CapturedStream out;
  testkit::CapturedStream err;
  ConsoleQuestions window(ConsoleOptionsFor(out.File(), err.File()));
  window.ShowMessageBox("Information", "Diese Seriennummer ist bereits im Gerät !",
                        MessageButtons::Ok, MessageIcon::Information);
  EXPECT_EQ(out.Text(), reinterpret_cast<const char*>(
                            u8"Information: Diese Seriennummer ist bereits im Gerät !\n"));
  EXPECT_EQ(err.Text(), "");
}

}  // namespace
}  // namespace kestrune::cli
