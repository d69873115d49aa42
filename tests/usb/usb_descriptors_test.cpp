#include "usb/usb_descriptors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace kestrune {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(StringDescriptorText, ConvertsToWindows1252WithinBounds) {
  struct Case {
    const char* name;
    Bytes descriptor;
    std::optional<std::string> text;
  };
  const Case cases[] = {
      {"ascii", {8, 3, 'F', 0, 'l', 0, 'a', 0}, "Fla"},
      {"latin-1", {10, 3, 'G', 0, 'e', 0, 'r', 0, 0xE4, 0}, "Ger\xE4"},
      {"euro sign", {4, 3, 0xAC, 0x20}, "\x80"},
      {"no Windows-1252 byte", {6, 3, 0x2D, 0x4E, 'x', 0}, "?x"},
      {"surrogate pair is one character", {8, 3, 0x3D, 0xD8, 0x00, 0xDE, 'x', 0}, "?x"},
      {"lone surrogates", {8, 3, 0x00, 0xDE, 0x3D, 0xD8, 'x', 0}, "??x"},
      {"pair cut by the length", {6, 3, 'a', 0, 0x3D, 0xD8, 0x00, 0xDE}, "a?"},
      {"odd length drops the half unit", {5, 3, 'a', 0, 'b', 0}, "a"},
      {"length beyond the bytes", {200, 3, 'a', 0, 'b'}, "a"},
      {"ends at U+0000", {8, 3, 'a', 0, 0, 0, 'b', 0}, "a"},
      {"empty", {2, 3}, ""},
      {"wrong type", {4, 2, 'a', 0}, std::nullopt},
      {"length below the header", {1, 3, 'a', 0}, std::nullopt},
      {"one byte", {2}, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(StringDescriptorText(c.descriptor), c.text);
  }
}

TEST(FindInterfaceDescriptor, StopsAtADescriptorThatDoesNotFit) {
  const Bytes configuration{
      9, 2,    27, 0, 1, 1, 0, 0xC0, 0x32, 9, 4,    0, 0,
      0, 0xFE, 1,  2, 4, 9, 4, 0,    1,    0, 0xFE, 1, 2};  // the second one is cut short
  EXPECT_TRUE(FindInterfaceDescriptor(configuration, 0, 0).has_value());
  EXPECT_FALSE(FindInterfaceDescriptor(configuration, 0, 1).has_value());
}

// Whatever a device sends, the readers stay inside it (the address sanitizer watches): random
// mutations of a boot loader's configuration, cut at random lengths, each in its own allocation.
TEST(UsbDescriptors, RandomBytesStayInBounds) {
  const Bytes valid{9, 2, 45,   0, 1, 1, 0, 0xC0, 0x32, 9,    4, 0, 0, 0,    0xFE,
                    1, 2, 4,    9, 4, 0, 1, 0,    0xFE, 1,    2, 5, 9, 4,    0,
                    2, 0, 0xFE, 1, 2, 6, 9, 0x21, 0x0B, 0xFF, 0, 0, 8, 0x1A, 1};
  ASSERT_EQ(FindDfuInterface(valid)->alternateCount, 3u);
  std::mt19937 random(12345);
  for (int round = 0; round < 3000; ++round) {
    Bytes bytes = valid;
    const int flips = 1 + static_cast<int>(random() % 4);
    for (int k = 0; k < flips; ++k) {
      bytes[random() % bytes.size()] = static_cast<std::uint8_t>(random());
    }
    bytes.resize(random() % (bytes.size() + 1));
    const auto heap = std::make_unique<std::uint8_t[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), heap.get());
    const std::span<const std::uint8_t> view(heap.get(), bytes.size());
    const auto dfu = FindDfuInterface(view);
    if (dfu) {
      EXPECT_GE(dfu->alternateCount, 1u);
    }
    FindInterfaceDescriptor(view, 0, static_cast<std::uint8_t>(round % 4));
    if (!bytes.empty()) {
      // The same bytes as a string descriptor with a random length byte.
      bytes[0] = static_cast<std::uint8_t>(random());
      if (bytes.size() > 1) {
        bytes[1] = 3;
      }
      std::copy(bytes.begin(), bytes.end(), heap.get());
      StringDescriptorText(view);
      FirstLanguageId(view);
    }
  }
}

}  // namespace
}  // namespace kestrune
