#include <gtest/gtest.h>

#include <cstring>

#include "device/device_identity.h"
#include "device/unique_id_text.h"
#include "testkit/otp_images.h"

namespace kestrune {
namespace {

using testkit::BlankOtpImage;
using testkit::kLetterUniqueId;
using testkit::PutIdentityBlock;
using testkit::SampleIdentity;

TEST(DeviceIdentityBlock, EncodesTheDocumentedLayoutAndDecodesIt) {
  const DeviceIdentity identity =
      SampleIdentity({0x00, 0x80, 0xA3, 0x12, 0x34, 0x56}, 0x123456, true);
  const OtpBlock block = EncodeIdentity(identity);
  const std::uint8_t expected[16] = {0x00, 0x80, 0xA3, 0x12, 0x34, 0x56, 0x7A, 0x85,
                                     0xE5, 0x67, 0x77, 0x53, 0x56, 0x34, 0x12, 0x80};
  EXPECT_EQ(std::memcmp(block.data(), expected, 16), 0);
  for (std::size_t i = 16; i < block.size(); ++i) EXPECT_EQ(block[i], 0xFF) << i;

  const std::optional<DeviceIdentity> decoded = DecodeIdentity(block.data());
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->macA, identity.macA);
  EXPECT_EQ(decoded->assignmentTime, identity.assignmentTime);
  EXPECT_EQ(decoded->serialNumber, identity.serialNumber);
  EXPECT_TRUE(decoded->hasSecondMac);

  // Only the 24 bits of the serial are stored; flag bits 0-6 are ignored when reading.
  OtpBlock wide = EncodeIdentity(SampleIdentity({}, 0x1FFFFFF, false));
  EXPECT_EQ(wide[15], 0x00);
  wide[15] = 0x7F;
  EXPECT_FALSE(DecodeIdentity(wide.data())->hasSecondMac);
  EXPECT_EQ(DecodeIdentity(wide.data())->serialNumber, kMaxSerialNumber);
  wide[7] = 0x84;
  EXPECT_FALSE(DecodeIdentity(wide.data()));
}

TEST(DeviceIdentityBlock, HighestMarkedBlockCounts) {
  struct Case {
    std::vector<std::uint32_t> marked;
    std::optional<std::uint32_t> found;
  };
  for (const Case& c :
       std::vector<Case>{{{}, std::nullopt}, {{0, 1}, 1}, {{3}, 3}, {{1, 15}, 15}}) {
    OtpImage image = BlankOtpImage(kLetterUniqueId);
    for (std::uint32_t index : c.marked)
      PutIdentityBlock(image, index, SampleIdentity({}, index, false));
    EXPECT_EQ(FindIdentityBlock(image), c.found);
  }
  // A half marker does not count, and lock bytes play no part.
  OtpImage image = BlankOtpImage(kLetterUniqueId);
  PutIdentityBlock(image, 2, SampleIdentity({}, 2, false));
  image[5 * kOtpBlockSize + 6] = kIdentityMarker0;
  std::fill(image.begin() + kOtpLockOffset, image.begin() + kUniqueIdOffset, 0x00);
  EXPECT_EQ(FindIdentityBlock(image), 2u);
}

TEST(UniqueIdTexts, EveryShape) {
  struct Case {
    std::array<std::uint8_t, 12> id;
    const char* text;
  };
  const Case cases[] = {
      {kLetterUniqueId, "37QxA012zZ99"},
      {{0x31, 0x00, 0x47, 0x00, 0x0E, 'Q', 'M', '5', '1', '3', '8', 'x'}, "3100-4700-0E-QM5138x"},
      {{0x31, 0x00, 0x47, 0x00, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'}, "3100-4700-ABCDEFGH"},
      {{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0, 0x01, 0x23, 0x45, 0x07},
       "1234-5678-9ABC-DEF0-0123-4507"},
      // The last byte ends the text part: a letter before a non-letter does not count.
      {{'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 0x00},
       "4142-4344-4546-4748-494A-4B00"},
      // Bytes above 0x7F are not letters, even where Windows-1252 has one there.
      {{0xE4, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k'}, "E4-abcdefghijk"},
  };
  for (const Case& c : cases) EXPECT_EQ(UniqueIdText(c.id.data()), c.text);
}

}  // namespace
}  // namespace kestrune
