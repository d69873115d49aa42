#include "device/memory_map.h"

#include <algorithm>
#include <iterator>

namespace kestrune {
namespace {

constexpr std::uint32_t kMaxAlternateSettings = 256;  // bAlternateSetting is one byte
constexpr std::uint64_t kAddressSpace = 0x100000000ull;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

int HexDigit(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// An unsigned base-16 number as the C library reads it: blanks, an optional '+', an optional
// "0x", then hex digits up to the first other character; values past 32 bits stay at the maximum.
std::uint32_t ReadHex(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  if (i < text.size() && text[i] == '+') ++i;
  if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
      HexDigit(text[i + 2]) >= 0) {
    i += 2;
  }
  std::uint64_t value = 0;
  for (; i < text.size() && HexDigit(text[i]) >= 0; ++i) {
    value = std::min<std::uint64_t>(value * 16 + static_cast<unsigned>(HexDigit(text[i])),
                                    0xFFFFFFFFull);
  }
  return static_cast<std::uint32_t>(value);
}

// A signed decimal number as the C library reads it: blanks, an optional sign, digits up to the
// first other character. Large magnitudes are held at `limit` (the caller refuses them).
std::int64_t ReadInteger(std::string_view text, std::int64_t limit) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::int64_t value = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i)
    value = std::min(value * 10 + (text[i] - '0'), limit);
  return negative ? -value : value;
}

// The sectors a string declares: the digits right before every '*' after the first '/'.
// Nothing when the total is 0 or exceeds `budget`.
std::optional<std::uint32_t> DeclaredSectors(std::string_view text, std::size_t firstSlash,
                                             std::uint32_t budget) {
  std::uint64_t total = 0;
  for (std::size_t star = text.find('*', firstSlash); star != std::string_view::npos;
       star = text.find('*', star + 1)) {
    std::size_t begin = star;
    while (begin > firstSlash && IsDigit(text[begin - 1])) --begin;
    std::uint64_t count = 0;
    for (std::size_t i = begin; i < star; ++i) {
      count = std::min<std::uint64_t>(count * 10 + static_cast<unsigned>(text[i] - '0'),
                                      std::uint64_t{budget} + 1);
    }
    total += count;
    if (total > budget) return std::nullopt;
  }
  if (total == 0) return std::nullopt;
  return static_cast<std::uint32_t>(total);
}

}  // namespace

std::optional<MemorySegment> ParseMemorySegment(std::string_view text,
                                                std::uint8_t alternateSetting,
                                                std::uint32_t sectorBudget) {
  text = text.substr(0, text.find('\0'));
  if (text.empty() || text[0] != '@') return std::nullopt;
  const std::size_t firstSlash = text.find('/');
  if (firstSlash == std::string_view::npos) return std::nullopt;
  const std::optional<std::uint32_t> declared = DeclaredSectors(text, firstSlash, sectorBudget);
  if (!declared) return std::nullopt;

  MemorySegment segment;
  segment.alternateSetting = alternateSetting;
  segment.name = std::string(text.substr(1, firstSlash - 1));
  segment.sectorCount = *declared;
  segment.sectors.reserve(*declared);

  std::size_t pos = firstSlash;
  while (segment.sectors.size() < segment.sectorCount) {
    // Address field: from past the current character (normally '/') up to the next '/'.
    if (pos + 1 >= text.size()) break;
    ++pos;
    const std::size_t fieldEnd = text.find('/', pos);
    if (fieldEnd == std::string_view::npos) break;
    const std::string_view field = text.substr(pos, fieldEnd - pos);
    const std::size_t dash = field.find('-');
    std::uint64_t start = ReadHex(field);
    std::uint64_t second = dash == std::string_view::npos ? start : ReadHex(field.substr(dash + 1));

    // Groups "N*SSSma" separated by ','.
    pos = fieldEnd + 1;
    for (;;) {
      const std::size_t star = text.find('*', pos);
      if (star == std::string_view::npos) break;
      const std::int64_t count =
          ReadInteger(text.substr(pos, star - pos), std::int64_t{segment.sectorCount} + 1);
      std::size_t digitsEnd = star + 1;
      std::uint64_t size = 0;
      for (; digitsEnd < text.size() && IsDigit(text[digitsEnd]); ++digitsEnd) {
        size = std::min<std::uint64_t>(size * 10 + static_cast<unsigned>(text[digitsEnd] - '0'),
                                       kAddressSpace);
      }
      // Both the multiplier position and the attribute letter must lie inside the string.
      if (digitsEnd + 1 >= text.size()) return std::nullopt;
      const char multiplier = text[digitsEnd];
      if (multiplier == 'K') size *= 1024;
      if (multiplier == 'M') size *= 1048576;
      if (size == 0 || size >= kAddressSpace) return std::nullopt;
      const char attribute = text[digitsEnd + 1];
      if (count > 0) {
        if (static_cast<std::uint64_t>(count) > segment.sectorCount - segment.sectors.size()) {
          return std::nullopt;  // more sectors than the string declares
        }
        if (start + static_cast<std::uint64_t>(count) * size > kAddressSpace) return std::nullopt;
        for (std::int64_t k = 0; k < count; ++k) {
          MemorySector sector;
          sector.startAddress = static_cast<std::uint32_t>(start);
          sector.secondAddress = static_cast<std::uint32_t>(second);
          sector.index = static_cast<std::uint32_t>(segment.sectors.size());
          sector.size = static_cast<std::uint32_t>(size);
          sector.attribute = attribute;
          sector.flag = 1;
          segment.sectors.push_back(sector);
          start += size;
          second = (second + size) & 0xFFFFFFFFull;
        }
      }
      pos = digitsEnd + 2;
      if (pos >= text.size() || text[pos] != ',') break;
      ++pos;
    }
  }
  // Fewer sectors than declared: the string contradicts itself, so there is no segment.
  if (segment.sectors.size() != segment.sectorCount) return std::nullopt;
  return segment;
}

std::unique_ptr<MemoryMap> ParseMemoryMap(StdfuLibrary& dfu, DfuHandle* handle,
                                          std::uint32_t dfuInterface,
                                          std::uint32_t alternateCount) {
  if (alternateCount == 0 || alternateCount > kMaxAlternateSettings) return nullptr;
  auto map = std::make_unique<MemoryMap>();
  map->segments.reserve(alternateCount);
  std::uint32_t budget = kMaxMemoryMapSectors;
  for (std::uint32_t alternate = 0; alternate < alternateCount; ++alternate) {
    std::uint8_t interfaceDescriptor[9] = {};
    if (dfu.STDFU_GetInterfaceDescriptor(handle, 0, dfuInterface, alternate, interfaceDescriptor) !=
        STDFU_NOERROR) {
      return nullptr;
    }
    const std::uint8_t stringIndex = interfaceDescriptor[8];
    if (stringIndex == 0) return nullptr;
    char text[512] = {};
    if (dfu.STDFU_GetStringDescriptor(handle, stringIndex, text, sizeof text) != STDFU_NOERROR) {
      return nullptr;
    }
    std::optional<MemorySegment> segment = ParseMemorySegment(
        std::string_view(text,
                         static_cast<std::size_t>(std::find(text, std::end(text), '\0') - text)),
        interfaceDescriptor[3], budget);
    if (!segment) return nullptr;
    budget -= segment->sectorCount;
    map->segments.push_back(std::move(*segment));
  }
  return map;
}

std::uint32_t WritableFlashSize(const MemoryMap& map) {
  std::uint64_t total = 0;
  for (const MemorySegment& segment : map.segments) {
    for (const MemorySector& sector : segment.sectors) {
      if (sector.attribute == kWritableAttribute) total += sector.size;
    }
  }
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(total, 0xFFFFFFFFull));
}

}  // namespace kestrune
