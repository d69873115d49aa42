#include <gtest/gtest.h>

#include "device/guid_text.h"

namespace kestrune {
namespace {

TEST(GuidText, RegistryFormUpperCaseAndPadded) {
  EXPECT_EQ(FormatGuid(kDfuInterfaceClass), "{3FE809AB-FB91-4CB5-A643-69670D52366E}");
  EXPECT_EQ(FormatGuid(kSecondInterfaceClass), "{CB979912-5029-420A-AEB1-34FC0A7D5726}");
  EXPECT_EQ(FormatGuid(Guid{0xA, 0xB, 0xC, {0, 1, 2, 3, 4, 5, 6, 0xF}}),
            "{0000000A-000B-000C-0001-02030405060F}");
}

}  // namespace
}  // namespace kestrune
