#include "support/bounded_text.h"

#include <cstring>

namespace kestrune {
namespace {

bool IsFolderSeparator(char c) {
  return c == '\\' || c == '/' || c == ':';
}

}  // namespace

std::int32_t BoundedLength(const char* text, std::int32_t capacity) {
  if (capacity <= 0) {
    return 0;
  }
  const void* end = std::memchr(text, '\0', static_cast<std::size_t>(capacity));
  return end == nullptr ? capacity
                        : static_cast<std::int32_t>(static_cast<const char*>(end) - text);
}

std::int32_t CopyBounded(char* destination, const char* source, std::int32_t capacity) {
  if (capacity <= 0) {
    return 0;
  }
  std::int32_t n = 0;
  while (n < capacity - 1 && source[n] != '\0') {
    destination[n] = source[n];
    ++n;
  }
  destination[n] = '\0';
  return n;
}

std::int32_t AppendBounded(char* buffer, const char* text, std::int32_t capacity) {
  const std::int32_t n = BoundedLength(buffer, capacity);
  if (n >= capacity) {
    return n;
  }
  return n + CopyBounded(buffer + n, text, capacity - n);
}

std::int32_t ReplaceFileName(char* destination, const char* source, const char* name,
                             std::int32_t capacity) {
  if (capacity < 1) {
    return 0;
  }
  std::size_t keep = std::strlen(source);
  while (keep > 1 && !IsFolderSeparator(source[keep - 1])) {
    --keep;
  }
  // Index 0 is not a folder part of its own: "\x" keeps nothing.
  if (keep <= 1) {
    keep = 0;
  }
  const auto limit = static_cast<std::size_t>(capacity - 1);
  if (keep >= limit) {
    std::memmove(destination, source, limit);
    destination[limit] = '\0';
    return capacity - 1;
  }
  std::memmove(destination, source, keep);
  std::size_t length = keep;
  while (length < limit && *name != '\0') {
    destination[length++] = *name++;
  }
  destination[length] = '\0';
  return static_cast<std::int32_t>(length);
}

std::int32_t ReplaceFileName(std::string& path, const char* name) {
  std::string buffer(static_cast<std::size_t>(kMaxPath), '\0');
  const std::int32_t length = ReplaceFileName(buffer.data(), path.c_str(), name, kMaxPath);
  buffer.resize(static_cast<std::size_t>(length));
  path = std::move(buffer);
  return length;
}

const char* FileNamePart(std::int32_t length, const char* path, std::int32_t* outLength) {
  std::int32_t start = length > 0 ? length : 0;
  while (start > 0 && !IsFolderSeparator(path[start - 1])) {
    --start;
  }
  if (outLength != nullptr) {
    *outLength = (length > 0 ? length : 0) - start;
  }
  return path + start;
}

}  // namespace kestrune
