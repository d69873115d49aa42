#include "app/colour_scheme.h"

#include <gtest/gtest.h>

#include "app/control_ids.h"

namespace kestrune {
namespace {

struct ColourCase {
  int controlId;
  ColourState state;
  ColourScheme expected;
};

TEST(ColourSchemeTest, ControlsArePaintedByTheirVerdict) {
  using enum ColourScheme;
  const ColourCase cases[] = {
      // Device count: none or a discovery problem is bad, one good, more doubtful.
      {kIdDeviceCount, {.deviceCount = 0}, Bad},
      {kIdDeviceCount, {.deviceCount = 1}, Good},
      {kIdDeviceCount, {.deviceCount = 1, .deviceError = true}, Bad},
      {kIdDeviceCount, {.deviceCount = 2}, Doubtful},
      // Firmware kind: only a valid file is good; no file is doubtful; a file too large is bad.
      {kIdFirmwareKind, {.firmwareState = FirmwareState::NoFile}, Doubtful},
      {kIdFirmwareKind, {.firmwareState = FirmwareState::WrongFormat}, Bad},
      {kIdFirmwareKind, {.firmwareState = FirmwareState::WrongHardware}, Bad},
      {kIdFirmwareKind, {.firmwareState = FirmwareState::TooLarge}, Bad},
      {kIdFirmwareKind, {.firmwareState = FirmwareState::Valid}, Good},
      // Status line by the run's outcome.
      {kIdStatusLine, {.runStatus = 0}, FrameworkDefault},
      {kIdStatusLine, {.runStatus = 1}, Doubtful},
      {kIdStatusLine, {.runStatus = 2}, Bad},
      {kIdStatusLine, {.runStatus = 3}, Good},
      // The identity fields by the identity state.
      {kIdSerialNumber, {.identityState = IdentityState::NotRead}, FrameworkDefault},
      {kIdMacA, {.identityState = IdentityState::NotProgrammed}, Doubtful},
      {kIdMacB, {.identityState = IdentityState::Present}, IdentityPresent},
      {kIdAssignmentDate, {.identityState = IdentityState::Present}, IdentityPresent},
      // Everything else keeps the default, whatever the state.
      {kIdUniqueId,
       {.deviceCount = 0, .runStatus = 2, .identityState = IdentityState::Present},
       FrameworkDefault},
      {kIdFirmwarePath, {.firmwareState = FirmwareState::WrongFormat}, FrameworkDefault},
  };
  for (const ColourCase& c : cases) {
    EXPECT_EQ(ControlColourScheme(c.controlId, c.state), c.expected) << "control " << c.controlId;
  }
}

TEST(ColourSchemeTest, SchemesHaveTheirColours) {
  EXPECT_EQ(ColoursOf(ColourScheme::Bad).text, (Rgb{255, 60, 0}));
  EXPECT_EQ(ColoursOf(ColourScheme::Bad).background, (Rgb{255, 178, 178}));
  EXPECT_EQ(ColoursOf(ColourScheme::Good).text, (Rgb{255, 255, 0}));
  EXPECT_EQ(ColoursOf(ColourScheme::Good).background, (Rgb{100, 200, 100}));
  EXPECT_EQ(ColoursOf(ColourScheme::Doubtful).text, (Rgb{255, 100, 0}));
  EXPECT_EQ(ColoursOf(ColourScheme::Doubtful).background, (Rgb{255, 222, 178}));
  EXPECT_EQ(ColoursOf(ColourScheme::IdentityPresent).text, (Rgb{0, 105, 0}));
  EXPECT_EQ(ColoursOf(ColourScheme::IdentityPresent).background, (Rgb{190, 230, 190}));
}

}  // namespace
}  // namespace kestrune
