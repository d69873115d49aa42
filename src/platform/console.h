#pragma once
// The terminal the command line writes to.

#include <cstdio>

namespace kestrune {

// True when the stream goes to a terminal (not a file or a pipe).
bool IsTerminal(std::FILE* stream);

// The command line writes UTF-8; a Windows console shows it only in that code page.
void UseUtf8Console();

}  // namespace kestrune
