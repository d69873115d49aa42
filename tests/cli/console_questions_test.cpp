// Message boxes on the console: printed, and questions asked where there is a terminal.

#include <gtest/gtest.h>

#include "cli/console_questions.h"
#include "testkit/captured_stream.h"

namespace kestrune::cli {
namespace {

TEST(ConsoleQuestionsTest, QuestionsAreAskedOnlyWhereSomeoneCanAnswer) {
  struct Case {
    MessageButtons buttons;
    const char* typed;  // null: no terminal
    MessageResult expected;
  };
  const Case cases[] = {
      {MessageButtons::YesNo, "j\n", MessageResult::Yes},
      {MessageButtons::YesNo, "n\n", MessageResult::No},
      {MessageButtons::YesNo, "", MessageResult::No},  // end of input
      {MessageButtons::YesNo, nullptr, MessageResult::No},
      {MessageButtons::OkCancel, "J\n", MessageResult::Ok},
      {MessageButtons::OkCancel, nullptr, MessageResult::Cancel},
      {MessageButtons::Ok, nullptr, MessageResult::Ok},
  };
  for (const Case& c : cases) {
    testkit::CapturedStream out;
    testkit::CapturedStream err;
    testkit::CapturedStream answers;
    if (c.typed != nullptr) {
      std::fputs(c.typed, answers.File());
      std::rewind(answers.File());
    }
    ConsoleOptions options;
    options.out = out.File();
    options.err = err.File();
    options.answers = c.typed ? answers.File() : nullptr;
    ConsoleQuestions window(options);
    EXPECT_EQ(window.ShowMessageBox("Warnung", "Soll diese ersetzt werden ?", c.buttons,
                                    MessageIcon::Warning),
              c.expected)
        << (c.typed ? c.typed : "(no terminal)");
    EXPECT_EQ(err.Text().rfind("Warnung: Soll diese ersetzt werden ?\n", 0), 0u);
  }
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
