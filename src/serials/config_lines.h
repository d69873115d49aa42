#pragma once
// Reading the operator's configuration files in Infos line by line, as the range files and the
// ledger file share it, and the warning box their bad lines give.

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "serials/operator_message.h"

namespace kestrune {

// One read takes at most 1022 characters: a longer line is read in pieces that count as lines.
inline constexpr std::size_t kConfigLineBufferSize = 1023;

class ConfigLineReader {
 public:
  // Only a plain file is opened: a folder or a pipe of that name would read as empty or never end.
  explicit ConfigLineReader(const std::string& path);

  bool IsOpen() const { return m_file != nullptr; }

  // The next piece of a line (at most 1022 characters, with the end of the line); false at the
  // end of the file. CR, LF and CR LF each end a line, so a file saved with CR alone keeps its
  // lines apart. Like the C library's line reader, the piece ends at a NUL byte. The view lasts
  // until the next call.
  bool Next(std::string_view& line);

 private:
  struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  std::unique_ptr<std::FILE, Closer> m_file;
  char m_buffer[kConfigLineBufferSize];
};

// A "Warnung" box whose text is `format` with one or two line numbers.
OperatorMessage ConfigWarning(const char* format, int first, int second = 0);

}  // namespace kestrune
