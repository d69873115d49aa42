#pragma once
// Where a command's console output goes and how it shows progress: shared by the console of a
// programming run and the console that answers the questions of a use case.

#include <cstdio>
#include <string>
#include <vector>

namespace kestrune::cli {

struct ConsoleOptions {
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  // Where answers to questions are read; null when there is no terminal to ask.
  std::FILE* answers = nullptr;
  // Where questions and their prompts are written: the terminal, also when stdout goes to a file.
  // Null: the stream of the question's kind.
  std::FILE* prompts = nullptr;
  // Draw a progress bar (the output is a terminal).
  bool progressBar = false;
  // The terminal's width the bar must fit in; 0 when it did not tell (taken as 80).
  int columns = 0;
  // Print progress as a line at each quarter, where bars of several devices on one console
  // would overwrite each other. Without either, progress is not shown.
  bool progressQuarters = false;
  // Put before every line, so that the lines of several devices on one console stay apart.
  std::string linePrefix;
  // Collects the texts of errors (Windows-1252), for a result printed as JSON.
  std::vector<std::string>* errors = nullptr;
  // Take Ctrl-C from the InterruptCatcher; false where one owner hands it to many.
  bool takesInterrupts = true;
};

// Minutes and seconds ("01:05"), as a stopwatch shows them.
std::string ElapsedText(double seconds);

// The console of a command: its output streams, and questions asked on the terminal when stdin
// is one. Progress is left to the command.
ConsoleOptions ConsoleOptionsFor(std::FILE* out, std::FILE* err);

}  // namespace kestrune::cli
