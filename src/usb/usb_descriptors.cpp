#include "usb/usb_descriptors.h"

#include <algorithm>

#include "support/cp1252.h"

namespace kestrune {
namespace {

constexpr std::uint8_t kDfuClass = 0xFE;
constexpr std::uint8_t kDfuSubclass = 0x01;
constexpr std::size_t kInterfaceDescriptorSize = 9;
constexpr std::size_t kMinFunctionalDescriptorSize = 7;

// Calls visit(descriptor) for each descriptor inside the span until one does not fit.
template <typename Visit>
void ForEachDescriptor(std::span<const std::uint8_t> bytes, Visit visit) {
  std::size_t pos = 0;
  while (bytes.size() - pos >= 2) {
    const std::size_t length = bytes[pos];
    if (length < 2 || length > bytes.size() - pos) {
      return;
    }
    visit(bytes.subspan(pos, length));
    pos += length;
  }
}

bool IsInterface(std::span<const std::uint8_t> d) {
  return d[1] == kInterfaceDescriptorType && d.size() >= kInterfaceDescriptorSize;
}

bool IsDfuInterface(std::span<const std::uint8_t> d) {
  return IsInterface(d) && d[5] == kDfuClass && d[6] == kDfuSubclass;
}

}  // namespace

std::optional<DfuInterfaceInfo> FindDfuInterface(std::span<const std::uint8_t> configuration) {
  std::optional<DfuInterfaceInfo> found;
  bool haveFunctional = false;
  bool insideDfu = false;  // the descriptors that follow belong to the found DFU interface
  ForEachDescriptor(configuration, [&](std::span<const std::uint8_t> d) {
    if (IsInterface(d)) {
      insideDfu = false;
      if (IsDfuInterface(d) && (!found || found->interfaceNumber == d[2])) {
        if (!found) {
          found.emplace();
          found->interfaceNumber = d[2];
        }
        ++found->alternateCount;
        insideDfu = true;
      }
    } else if (insideDfu && !haveFunctional && d[1] == kDfuFunctionalDescriptorType &&
               d.size() >= kMinFunctionalDescriptorSize) {
      std::copy_n(d.begin(), std::min(d.size(), found->functional.size()),
                  found->functional.begin());
      haveFunctional = true;
    }
  });
  if (!haveFunctional) {
    return std::nullopt;
  }
  return found;
}

std::optional<std::array<std::uint8_t, 9>> FindInterfaceDescriptor(
    std::span<const std::uint8_t> configuration, std::uint8_t interfaceNumber,
    std::uint8_t alternate) {
  std::optional<std::array<std::uint8_t, 9>> found;
  ForEachDescriptor(configuration, [&](std::span<const std::uint8_t> d) {
    if (!found && IsInterface(d) && d[2] == interfaceNumber && d[3] == alternate) {
      found.emplace();
      std::copy_n(d.begin(), found->size(), found->begin());
    }
  });
  return found;
}

std::optional<std::string> StringDescriptorText(std::span<const std::uint8_t> descriptor) {
  if (descriptor.size() < 2 || descriptor[1] != kStringDescriptorType || descriptor[0] < 2) {
    return std::nullopt;
  }
  const std::size_t end = std::min<std::size_t>(descriptor[0], descriptor.size()) & ~std::size_t{1};
  std::string utf8;
  for (std::size_t pos = 2; pos < end; pos += 2) {
    const char16_t unit = static_cast<char16_t>(descriptor[pos] | descriptor[pos + 1] << 8);
    if (unit == 0) {
      break;
    }
    if (unit >= 0xD800 && unit < 0xE000) {
      // No character beyond the basic plane has a Windows-1252 byte; a pair becomes one '?'.
      const bool pair = unit < 0xDC00 && pos + 3 < end && (descriptor[pos + 3] & 0xFC) == 0xDC;
      utf8 += '?';
      pos += pair ? 2 : 0;
      continue;
    }
    AppendUtf8(utf8, unit);
  }
  return Utf8ToCp1252(utf8);
}

std::optional<std::uint16_t> FirstLanguageId(std::span<const std::uint8_t> descriptor) {
  if (descriptor.size() < 4 || descriptor[0] < 4 || descriptor[1] != kStringDescriptorType) {
    return std::nullopt;
  }
  return static_cast<std::uint16_t>(descriptor[2] | descriptor[3] << 8);
}

}  // namespace kestrune
