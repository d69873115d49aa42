#include "serials/config_lines.h"

#include <cstring>
#include <filesystem>

namespace kestrune {

ConfigLineReader::ConfigLineReader(const std::string& path) {
  std::error_code error;
  if (std::filesystem::is_regular_file(path, error)) m_file.reset(std::fopen(path.c_str(), "rb"));
}

bool ConfigLineReader::Next(std::string_view& line) {
  if (!m_file) return false;
  std::FILE* file = m_file.get();
  std::size_t length = 0;
  int c = EOF;
  while (length + 1 < kConfigLineBufferSize && (c = std::getc(file)) != EOF) {
    m_buffer[length++] = static_cast<char>(c);
    if (c == '\n') break;
    if (c == '\r') {
      const int next = std::getc(file);
      if (next != '\n' && next != EOF) std::ungetc(next, file);
      break;
    }
  }
  if (length == 0) return false;
  m_buffer[length] = '\0';
  line = std::string_view(m_buffer, std::strlen(m_buffer));
  return true;
}

OperatorMessage ConfigWarning(const char* format, int first, int second) {
  char text[200];
  std::snprintf(text, sizeof text, format, first, second);
  return {"Warnung", text, OperatorIcon::Warning};
}

}  // namespace kestrune
