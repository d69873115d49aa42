#include "platform/platform.h"
#include "support/bounded_text.h"

namespace kestrune {

std::int32_t GetModuleDirectory(char* buffer, std::int32_t capacity) {
  GetModulePath(buffer, capacity);
  return capacity < 1 ? 0 : ReplaceFileName(buffer, buffer, "", capacity);
}

std::int32_t GetModulePath(std::string& path) {
  char buffer[kMaxPath];
  const std::int32_t length = GetModulePath(buffer, kMaxPath);
  path.assign(buffer, static_cast<std::size_t>(length));
  return length;
}

std::int32_t GetModuleDirectory(std::string& folder) {
  char buffer[kMaxPath];
  const std::int32_t length = GetModuleDirectory(buffer, kMaxPath);
  folder.assign(buffer, static_cast<std::size_t>(length));
  return length;
}

}  // namespace kestrune
