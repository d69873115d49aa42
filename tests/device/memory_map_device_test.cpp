#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "device/memory_map.h"
#include "testkit/failing_stdfu.h"

namespace kestrune {
namespace {

// Just the two library operations the map reads: interface descriptors and their strings.
class InterfaceStrings final : public testkit::FailingStdfu {
 public:
  // strings[a] is the text of alternate a, under string index stringIndexes[a] (0: none).
  std::vector<std::string> strings;
  std::vector<std::uint8_t> stringIndexes;
  int failInterfaceAt = -1;
  std::uint32_t failStringIndex = 0;
  bool fillWithoutTerminator = false;

  std::uint32_t STDFU_GetInterfaceDescriptor(DfuHandle*, std::uint32_t configuration,
                                             std::uint32_t interfaceNumber, std::uint32_t alternate,
                                             std::uint8_t* descriptor9) override {
    if (configuration != 0 || interfaceNumber != 0 || alternate >= strings.size() ||
        static_cast<int>(alternate) == failInterfaceAt) {
      return STDFU_ERROR;
    }
    const std::uint8_t descriptor[9] = {
        9, 4, 0, static_cast<std::uint8_t>(alternate), 0, 0xFE, 1, 2, stringIndexes[alternate]};
    std::memcpy(descriptor9, descriptor, 9);
    return STDFU_NOERROR;
  }
  std::uint32_t STDFU_GetStringDescriptor(DfuHandle*, std::uint32_t index, char* buffer,
                                          std::uint32_t size) override {
    for (std::size_t a = 0; a < strings.size(); ++a) {
      if (stringIndexes[a] != index || index == failStringIndex) continue;
      // A misbehaving library: the whole buffer is text, with no terminator anywhere.
      if (fillWithoutTerminator) {
        std::memset(buffer, '1', size);
        std::memcpy(buffer, strings[a].data(), strings[a].size());
      } else {
        std::snprintf(buffer, size, "%s", strings[a].c_str());
      }
      return STDFU_NOERROR;
    }
    return STDFU_ERROR;
  }
};

InterfaceStrings BootLoader() {
  InterfaceStrings device;
  device.strings = {"@Internal Flash  /0x08000000/04*016Kg,01*064Kg,07*128Kg",
                    "@Option Bytes  /0x1FFFC000/01*016 e",
                    "@OTP Memory /0x1FFF7800/01*512 e,01*016 e",
                    "@Device Feature/0xFFFF0000/01*004 e"};
  device.stringIndexes = {4, 5, 6, 7};
  return device;
}

TEST(MemoryMapFromDevice, OneSegmentPerAlternateSetting) {
  InterfaceStrings device = BootLoader();
  DfuHandle handle = nullptr;
  const std::unique_ptr<MemoryMap> map = ParseMemoryMap(device, &handle, 0, 4);
  ASSERT_TRUE(map);
  ASSERT_EQ(map->segments.size(), 4u);
  const std::uint32_t counts[] = {12, 1, 2, 1};
  for (std::uint8_t a = 0; a < 4; ++a) {
    EXPECT_EQ(map->segments[a].alternateSetting, a);
    EXPECT_EQ(map->segments[a].sectorCount, counts[a]);
  }
  EXPECT_EQ(map->segments[2].name, "OTP Memory ");
  EXPECT_EQ(WritableFlashSize(*map), 1024u * 1024);
}

TEST(MemoryMapFromDevice, AnyUnusableAlternateFailsTheWholeMap) {
  DfuHandle handle = nullptr;
  struct Case {
    const char* what;
    void (*spoil)(InterfaceStrings&);
    std::uint32_t alternateCount;
  };
  const Case cases[] = {
      {"no alternate setting", [](InterfaceStrings&) {}, 0},
      {"more alternates than a byte numbers", [](InterfaceStrings&) {}, 0x10000},
      {"more alternates than the device has", [](InterfaceStrings&) {}, 5},
      {"descriptor not readable", [](InterfaceStrings& d) { d.failInterfaceAt = 3; }, 4},
      {"no string", [](InterfaceStrings& d) { d.stringIndexes[1] = 0; }, 4},
      {"string not readable", [](InterfaceStrings& d) { d.failStringIndex = 6; }, 4},
      {"no '@'", [](InterfaceStrings& d) { d.strings[3] = "Device Feature/0xFFFF0000/01*004 e"; },
       4},
      {"no sector", [](InterfaceStrings& d) { d.strings[1] = "@Option Bytes  /0x1FFFC000/"; }, 4},
      {"over the sector budget in all",
       [](InterfaceStrings& d) {
         d.strings[0] = "@A/0/40000*1Kg";
         d.strings[1] = "@B/0/30000*1Kg";
       },
       4},
  };
  for (const Case& c : cases) {
    InterfaceStrings device = BootLoader();
    c.spoil(device);
    EXPECT_FALSE(ParseMemoryMap(device, &handle, 0, c.alternateCount)) << c.what;
  }
}

TEST(MemoryMapFromDevice, StringFillingTheWholeBufferIsCutAtItsEnd) {
  InterfaceStrings device;
  device.stringIndexes = {4};
  device.fillWithoutTerminator = true;
  // The digits that fill the rest of the buffer become part of the last sector size.
  device.strings = {"@Flash/0x08000000/01*"};
  DfuHandle handle = nullptr;
  EXPECT_FALSE(ParseMemoryMap(device, &handle, 0, 1));  // no room left for the attribute letter
}

}  // namespace
}  // namespace kestrune
