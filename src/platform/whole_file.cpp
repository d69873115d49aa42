#include "platform/file_bytes.h"
#include "platform/platform.h"

namespace kestrune {

std::int32_t ReadWholeFile(const char* path, void* buffer, std::int32_t capacity) {
  if (capacity < 1) {
    return 0;
  }
  auto* bytes = static_cast<char*>(buffer);
  if (capacity == 1) {
    bytes[0] = '\0';
    return 0;
  }
  // Room for the data and the two zero bytes behind it.
  const std::size_t done = ReadFileBytes(path, bytes, static_cast<std::size_t>(capacity) - 2);
  // Two terminators fit: with capacity 2 they are all there is.
  bytes[done] = '\0';
  bytes[done + 1] = '\0';
  return static_cast<std::int32_t>(done);
}

}  // namespace kestrune
