#include "device/unique_id_text.h"

#include <cstdio>

#include "device/device_identity.h"

namespace kestrune {
namespace {

bool IsAsciiLetterOrDigit(std::uint8_t c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

std::string UniqueIdText(const std::uint8_t* uniqueId) {
  std::size_t textStart = kUniqueIdSize;
  while (textStart > 0 && IsAsciiLetterOrDigit(uniqueId[textStart - 1])) --textStart;
  std::string text;
  char group[8];
  for (std::size_t k = 0; k + 1 < textStart; k += 2) {
    std::snprintf(group, sizeof group, "%02X%02X-", uniqueId[k], uniqueId[k + 1]);
    text += group;
  }
  if (textStart % 2 != 0) {
    std::snprintf(group, sizeof group, "%02X-", uniqueId[textStart - 1]);
    text += group;
  }
  if (textStart == kUniqueIdSize) {
    text.pop_back();
  } else {
    text.append(reinterpret_cast<const char*>(uniqueId) + textStart, kUniqueIdSize - textStart);
  }
  return text;
}

}  // namespace kestrune
