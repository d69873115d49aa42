#include <gtest/gtest.h>

#include "sim_fixture.h"

namespace kestrune::simtest {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Utf16(const std::string& text) {
  Bytes out{static_cast<std::uint8_t>(2 + 2 * text.size()), 0x03};
  for (char c : text) out.insert(out.end(), {static_cast<std::uint8_t>(c), 0});
  return out;
}

using DescriptorTest = SimTest;

TEST_F(DescriptorTest, DeviceAndConfigurationAreTheBootLoaders) {
  EXPECT_EQ(host->Descriptor(1, 0), (Bytes{0x12, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x40, 0x83,
                                           0x04, 0x11, 0xDF, 0x00, 0x22, 0x01, 0x02, 0x03, 0x01}));
  const Bytes configuration{
      0x09, 0x02, 0x36, 0x00, 0x01, 0x01, 0x00, 0xC0, 0x32,  // configuration
      0x09, 0x04, 0x00, 0x00, 0x00, 0xFE, 0x01, 0x02, 0x04,  // alternate 0
      0x09, 0x04, 0x00, 0x01, 0x00, 0xFE, 0x01, 0x02, 0x05,  // alternate 1
      0x09, 0x04, 0x00, 0x02, 0x00, 0xFE, 0x01, 0x02, 0x06,  // alternate 2
      0x09, 0x04, 0x00, 0x03, 0x00, 0xFE, 0x01, 0x02, 0x07,  // alternate 3
      0x09, 0x21, 0x0B, 0xFF, 0x00, 0x00, 0x08, 0x1A, 0x01,  // DFU functional
  };
  EXPECT_EQ(host->Descriptor(2, 0), configuration);
  // A host first reads the 9-byte header to learn the total length.
  EXPECT_EQ(host->Descriptor(2, 0, 9), Bytes(configuration.begin(), configuration.begin() + 9));
}

TEST_F(DescriptorTest, StringsAreUtf16AsUsbSendsThem) {
  EXPECT_EQ(host->Descriptor(3, 0), (Bytes{0x04, 0x03, 0x09, 0x04}));
  EXPECT_EQ(host->Descriptor(3, 1), Utf16("STMicroelectronics"));
  EXPECT_EQ(host->Descriptor(3, 2), Utf16("STM32  BOOTLOADER"));
  EXPECT_EQ(host->Descriptor(3, 3), Utf16("367F34683033"));
  EXPECT_EQ(host->Descriptor(3, 4),
            Utf16("@Internal Flash  /0x08000000/04*016Kg,01*064Kg,07*128Kg"));
  EXPECT_EQ(host->Descriptor(3, 5), Utf16("@Option Bytes  /0x1FFFC000/01*016 e"));
  EXPECT_EQ(host->Descriptor(3, 6), Utf16("@OTP Memory /0x1FFF7800/01*512 e,01*016 e"));
  EXPECT_EQ(host->Descriptor(3, 7), Utf16("@Device Feature/0xFFFF0000/01*004 e"));
  EXPECT_TRUE(host->Descriptor(3, 8).empty());  // stalled
}

TEST(DescriptorParts, FlashStringsFollowThePart) {
  const std::vector<std::pair<std::uint32_t, std::string>> cases = {
      {256, "@Internal Flash  /0x08000000/04*016Kg,01*064Kg,01*128Kg"},
      {512, "@Internal Flash  /0x08000000/04*016Kg,01*064Kg,03*128Kg"},
      {2048, "@Internal Flash  /0x08000000/04*016Kg,01*064Kg,07*128Kg,04*016Kg,01*064Kg,07*128Kg"},
  };
  for (const auto& [kib, text] : cases) {
    EXPECT_EQ(BootLoaderInterfaceStrings(kib)[0], text) << kib;
  }
  EXPECT_EQ(BootLoaderInterfaceStrings(2048)[1],
            "@Option Bytes  /0x1FFFC000/01*016 e/0x1FFEC000/01*016 e");
  EXPECT_EQ(BootLoaderInterfaceStrings(2048, SimStringVariant::F42x),
            (std::vector<std::string>{
                "@Internal Flash /0x08000000/04*016Kg,01*064Kg,07*128Kg,04*016Kg,01*064Kg,07*128Kg",
                "@Option Bytes  /0x1FFFC000/01*016 e/0x1FFEC000/01*016 e",
                "@OTP Memory /0x1FFF7800/01*512 e,01*016 e/0x1FFE7800/01*512 e,01*016 e",
                "@Device Feature/0xFFFF0000/01*004 e"}));
}

}  // namespace
}  // namespace kestrune::simtest
