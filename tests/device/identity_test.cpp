#include <gtest/gtest.h>

#include <cstring>

#include "device/device_identity.h"
#include "device/identity_display.h"

namespace kestrune {
namespace {

// An image as read from a device: all blocks free, locks open, the given unique ID.
OtpImage Image(const std::array<std::uint8_t, 12>& uniqueId) {
  OtpImage image{};
  std::fill(image.begin(), image.begin() + kUniqueIdOffset, 0xFF);
  std::copy(uniqueId.begin(), uniqueId.end(), image.begin() + kUniqueIdOffset);
  return image;
}

void PutBlock(OtpImage& image, std::uint32_t index, const DeviceIdentity& identity) {
  const OtpBlock block = EncodeIdentity(identity);
  std::copy(block.begin(), block.end(), image.begin() + index * kOtpBlockSize);
}

DeviceIdentity Identity(std::array<std::uint8_t, 6> mac, std::uint32_t serial, bool secondMac) {
  DeviceIdentity identity;
  identity.macA = mac;
  identity.serialNumber = serial;
  identity.hasSecondMac = secondMac;
  identity.assignmentTime = 1400334309;  // 2014-05-17 13:45:09 UTC
  return identity;
}

constexpr std::array<std::uint8_t, 12> kLetterId = {'3', '7', 'Q', 'x', 'A', '0',
                                                    '1', '2', 'z', 'Z', '9', '9'};

TEST(DeviceIdentityBlock, EncodesTheDocumentedLayoutAndDecodesIt) {
  const DeviceIdentity identity = Identity({0x00, 0x80, 0xA3, 0x12, 0x34, 0x56}, 0x123456, true);
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
  OtpBlock wide = EncodeIdentity(Identity({}, 0x1FFFFFF, false));
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
    OtpImage image = Image(kLetterId);
    for (std::uint32_t index : c.marked) PutBlock(image, index, Identity({}, index, false));
    EXPECT_EQ(FindIdentityBlock(image), c.found);
  }
  // A half marker does not count, and lock bytes play no part.
  OtpImage image = Image(kLetterId);
  PutBlock(image, 2, Identity({}, 2, false));
  image[5 * kOtpBlockSize + 6] = kIdentityMarker0;
  std::fill(image.begin() + kOtpLockOffset, image.begin() + kUniqueIdOffset, 0x00);
  EXPECT_EQ(FindIdentityBlock(image), 2u);
}

TEST(IdentityDisplayTexts, ShowsTheHighestIdentity) {
  struct Case {
    DeviceIdentity identity;
    const char* serial;
    const char* macA;
    const char* macB;
  };
  const Case cases[] = {
      {Identity({0x00, 0x80, 0xA3, 0x00, 0xFF, 0xFF}, 4711, true), "4711", "00-80-A3-00-FF-FF",
       "00-80-A3-01-00-00"},
      {Identity({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 16777215, true), "16777215",
       "FF-FF-FF-FF-FF-FF", "00-00-00-00-00-00"},
      {Identity({0x02, 0x00, 0x00, 0x00, 0x00, 0x0A}, 0, false), "0", "02-00-00-00-00-0A",
       "Keine 2.te MAC-Adresse"},
  };
  for (const Case& c : cases) {
    OtpImage image = Image(kLetterId);
    PutBlock(image, 1, Identity({0x11, 0x11, 0x11, 0x11, 0x11, 0x11}, 1, true));
    PutBlock(image, 4, c.identity);
    const IdentityDisplay display = ShowDeviceIdentity(image, UtcCalendar);
    EXPECT_EQ(display.state, kIdentityPresent);
    EXPECT_EQ(display.serialNumber, c.serial);
    EXPECT_EQ(display.macA, c.macA);
    EXPECT_EQ(display.macB, c.macB);
    EXPECT_EQ(display.assignmentDate, "2014-05-17 13:45:09");
    EXPECT_EQ(display.uniqueId, "37QxA012zZ99");
  }
  OtpImage epoch = Image(kLetterId);
  DeviceIdentity atZero = Identity({}, 1, false);
  atZero.assignmentTime = 0;
  PutBlock(epoch, 1, atZero);
  EXPECT_EQ(ShowDeviceIdentity(epoch, UtcCalendar).assignmentDate, "1970-01-01 00:00:00");
}

TEST(IdentityDisplayTexts, ProposesAPairForAnUnprogrammedDevice) {
  // h = w0 ^ ((w1 ^ (w2 << 3)) << 3) with w0 = 0x04030201, w1 = 0, w2 = 0: h1 = 02,
  // h2 ^ h0 = 03 ^ 01, h3 ^ h1 = 04 ^ 02.
  const IdentityDisplay simple = ShowDeviceIdentity(Image({1, 2, 3, 4, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(simple.state, kIdentityNotProgrammed);
  EXPECT_EQ(simple.serialNumber, "Nicht programmiert");
  EXPECT_EQ(simple.assignmentDate, "---");
  EXPECT_EQ(simple.macA, "AC-DE-48-02-02-06");
  EXPECT_EQ(simple.macB, "AC-DE-48-02-02-07");

  // w1 = 1 and w2 = 1: (1 ^ 8) << 3 = 0x48, so h = 0x48 and the proposal is 00-48-00.
  EXPECT_EQ(ShowDeviceIdentity(Image({0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0})).macA,
            "AC-DE-48-00-48-00");

  // Bits shifted past 32 are lost: w2 = 0xE0000000 contributes nothing. h = 0x00FFFF00 gives
  // FF-FF-FF, whose successor wraps within the three bytes.
  const IdentityDisplay wrap =
      ShowDeviceIdentity(Image({0x00, 0xFF, 0xFF, 0x00, 0, 0, 0, 0, 0, 0, 0, 0xE0}));
  EXPECT_EQ(wrap.macA, "AC-DE-48-FF-FF-FF");
  EXPECT_EQ(wrap.macB, "AC-DE-48-00-00-00");
}

TEST(IdentityDisplayTexts, UniqueIdTextOfEveryShape) {
  struct Case {
    std::array<std::uint8_t, 12> id;
    const char* text;
  };
  const Case cases[] = {
      {kLetterId, "37QxA012zZ99"},
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
