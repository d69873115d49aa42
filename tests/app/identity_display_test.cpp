// The texts the window and the command line show of an OTP image.

#include <gtest/gtest.h>

#include "app/identity_display.h"
#include "testkit/otp_images.h"

namespace kestrune {
namespace {

using testkit::BlankOtpImage;
using testkit::kLetterUniqueId;
using testkit::PutIdentityBlock;
using testkit::SampleIdentity;

TEST(IdentityDisplayTexts, ShowsTheHighestIdentity) {
  struct Case {
    DeviceIdentity identity;
    const char* serial;
    const char* macA;
    const char* macB;
  };
  const Case cases[] = {
      {SampleIdentity({0x00, 0x80, 0xA3, 0x00, 0xFF, 0xFF}, 4711, true), "4711",
       "00-80-A3-00-FF-FF", "00-80-A3-01-00-00"},
      {SampleIdentity({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 16777215, true), "16777215",
       "FF-FF-FF-FF-FF-FF", "00-00-00-00-00-00"},
      {SampleIdentity({0x02, 0x00, 0x00, 0x00, 0x00, 0x0A}, 0, false), "0", "02-00-00-00-00-0A",
       "Keine 2.te MAC-Adresse"},
  };
  for (const Case& c : cases) {
    OtpImage image = BlankOtpImage(kLetterUniqueId);
    PutIdentityBlock(image, 1, SampleIdentity({0x11, 0x11, 0x11, 0x11, 0x11, 0x11}, 1, true));
    PutIdentityBlock(image, 4, c.identity);
    const IdentityDisplay display = ShowDeviceIdentity(image, UtcCalendar);
    EXPECT_EQ(display.state, IdentityState::Present);
    EXPECT_EQ(display.serialNumber, c.serial);
    EXPECT_EQ(display.macA, c.macA);
    EXPECT_EQ(display.macB, c.macB);
    EXPECT_EQ(display.assignmentDate, "2014-05-17 13:45:09");
    EXPECT_EQ(display.uniqueId, "37QxA012zZ99");
  }
  OtpImage epoch = BlankOtpImage(kLetterUniqueId);
  DeviceIdentity atZero = SampleIdentity({}, 1, false);
  atZero.assignmentTime = 0;
  PutIdentityBlock(epoch, 1, atZero);
  EXPECT_EQ(ShowDeviceIdentity(epoch, UtcCalendar).assignmentDate, "1970-01-01 00:00:00");
}

TEST(IdentityDisplayTexts, ProposesAPairForAnUnprogrammedDevice) {
  // h = w0 ^ ((w1 ^ (w2 << 3)) << 3) with w0 = 0x04030201, w1 = 0, w2 = 0: h1 = 02,
  // h2 ^ h0 = 03 ^ 01, h3 ^ h1 = 04 ^ 02.
  const IdentityDisplay simple =
      ShowDeviceIdentity(BlankOtpImage({1, 2, 3, 4, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(simple.state, IdentityState::NotProgrammed);
  EXPECT_EQ(simple.serialNumber, "Nicht programmiert");
  EXPECT_EQ(simple.assignmentDate, "---");
  EXPECT_EQ(simple.macA, "AC-DE-48-02-02-06");
  EXPECT_EQ(simple.macB, "AC-DE-48-02-02-07");

  // w1 = 1 and w2 = 1: (1 ^ 8) << 3 = 0x48, so h = 0x48 and the proposal is 00-48-00.
  EXPECT_EQ(ShowDeviceIdentity(BlankOtpImage({0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0})).macA,
            "AC-DE-48-00-48-00");

  // Bits shifted past 32 are lost: w2 = 0xE0000000 contributes nothing. h = 0x00FFFF00 gives
  // FF-FF-FF, whose successor wraps within the three bytes.
  const IdentityDisplay wrap =
      ShowDeviceIdentity(BlankOtpImage({0x00, 0xFF, 0xFF, 0x00, 0, 0, 0, 0, 0, 0, 0, 0xE0}));
  EXPECT_EQ(wrap.macA, "AC-DE-48-FF-FF-FF");
  EXPECT_EQ(wrap.macB, "AC-DE-48-00-00-00");
}

}  // namespace
}  // namespace kestrune
