#pragma once
// The terminal the command line writes to.

#include <cstdio>

namespace kestrune {

// True when the stream goes to a terminal (not a file or a pipe).
bool IsTerminal(std::FILE* stream);

// The command line writes UTF-8; a Windows console shows it only in that code page.
void UseUtf8Console();

// A write to a closed pipe fails (and the command says so) instead of killing the process, which
// could stop a run half-way.
void KeepRunningOnClosedPipe();

// The columns of the terminal `stream` goes to, or 0 when it goes to none or does not tell.
int TerminalColumns(std::FILE* stream);

// The process's terminal for writing, whatever stdout and stderr go to (opened once, never
// closed), or null when it has none.
std::FILE* ControllingTerminal();

// Installs `handler` for Ctrl-C (SIGINT) and returns the one it replaces. A read from the
// terminal that the key interrupts ends instead of being resumed, so a question can stop.
using InterruptHandler = void (*)(int);
InterruptHandler SetInterruptHandler(InterruptHandler handler);

}  // namespace kestrune
