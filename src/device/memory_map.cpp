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

// An address field "08000000" or "08000000-0800FFFF": the start and the second address.
struct FieldAddresses {
  std::uint64_t start = 0;
  std::uint64_t second = 0;
};

FieldAddresses ReadAddressField(std::string_view field) {
  const std::size_t dash = field.find('-');
  const std::uint64_t start = ReadHex(field);
  return {start, dash == std::string_view::npos ? start : ReadHex(field.substr(dash + 1))};
}

// One group "N*SSSma": N sectors of SSS bytes times the multiplier m, with attribute a.
struct SectorGroup {
  std::int64_t count = 0;
  std::uint64_t size = 0;
  char attribute = 0;
  std::size_t end = 0;  // just past the attribute letter
};

// The group from `pos` whose '*' is at `star`; nothing when it breaks the string.
std::optional<SectorGroup> ReadSectorGroup(std::string_view text, std::size_t pos, std::size_t star,
                                           std::int64_t countLimit) {
  SectorGroup group;
  group.count = ReadInteger(text.substr(pos, star - pos), countLimit);
  std::size_t digitsEnd = star + 1;
  for (; digitsEnd < text.size() && IsDigit(text[digitsEnd]); ++digitsEnd) {
    group.size = std::min<std::uint64_t>(
        group.size * 10 + static_cast<unsigned>(text[digitsEnd] - '0'), kAddressSpace);
  }
  // Both the multiplier position and the attribute letter must lie inside the string.
  if (digitsEnd + 1 >= text.size()) return std::nullopt;
  const char multiplier = text[digitsEnd];
  if (multiplier == 'K') group.size *= 1024;
  if (multiplier == 'M') group.size *= 1048576;
  if (group.size == 0 || group.size >= kAddressSpace) return std::nullopt;
  group.attribute = text[digitsEnd + 1];
  group.end = digitsEnd + 2;
  return group;
}

// Appends the group's sectors from `start` on and moves both addresses past them; false when the
// group holds more sectors than the string declares or runs past the address space.
bool AppendSectors(MemorySegment& segment, const SectorGroup& group, FieldAddresses& addresses) {
  if (group.count <= 0) return true;
  const auto count = static_cast<std::uint64_t>(group.count);
  if (count > segment.sectorCount - segment.sectors.size()) return false;
  if (addresses.start + count * group.size > kAddressSpace) return false;
  for (std::uint64_t k = 0; k < count; ++k) {
    MemorySector sector;
    sector.startAddress = static_cast<std::uint32_t>(addresses.start);
    sector.secondAddress = static_cast<std::uint32_t>(addresses.second);
    sector.index = static_cast<std::uint32_t>(segment.sectors.size());
    sector.size = static_cast<std::uint32_t>(group.size);
    sector.attribute = group.attribute;
    sector.flag = 1;
    segment.sectors.push_back(sector);
    addresses.start += group.size;
    addresses.second = (addresses.second + group.size) & 0xFFFFFFFFull;
  }
  return true;
}

// The ','-separated groups after an address field, from `pos` on; `pos` ends where the next
// address field may begin. False when a group breaks the string.
bool ReadSectorGroups(std::string_view text, std::size_t& pos, MemorySegment& segment,
                      FieldAddresses addresses) {
  for (;;) {
    const std::size_t star = text.find('*', pos);
    if (star == std::string_view::npos) return true;
    const std::optional<SectorGroup> group =
        ReadSectorGroup(text, pos, star, std::int64_t{segment.sectorCount} + 1);
    if (!group || !AppendSectors(segment, *group, addresses)) return false;
    pos = group->end;
    if (pos >= text.size() || text[pos] != ',') return true;
    ++pos;
  }
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
    const FieldAddresses addresses = ReadAddressField(text.substr(pos, fieldEnd - pos));
    pos = fieldEnd + 1;
    if (!ReadSectorGroups(text, pos, segment, addresses)) return std::nullopt;
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
