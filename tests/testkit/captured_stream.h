#pragma once
// A temporary stream that a command writes to (in place of stdout or stderr) and the test reads.

#include <cstdio>
#include <string>

namespace kestrune::testkit {

class CapturedStream {
 public:
  CapturedStream() : m_file(std::tmpfile()) {}
  ~CapturedStream() { std::fclose(m_file); }
  CapturedStream(const CapturedStream&) = delete;
  CapturedStream& operator=(const CapturedStream&) = delete;

  std::FILE* File() const { return m_file; }
  // Everything written so far.
  std::string Text() const {
    std::fflush(m_file);
    std::rewind(m_file);
    std::string text;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, m_file)) > 0) text.append(buffer, n);
    std::fseek(m_file, 0, SEEK_END);
    return text;
  }

 private:
  std::FILE* m_file;
};

// UTF-8 text, as the command line writes it, whatever the execution character set.
inline std::string Utf8(const char8_t* text) {
  return reinterpret_cast<const char*>(text);
}

}  // namespace kestrune::testkit
