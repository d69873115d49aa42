// GUIDs as the registry writes them, and texts that are no GUID.

#include "device/guid_text.h"

#include <gtest/gtest.h>

namespace kestrune {
namespace {

TEST(GuidTextTest, RegistryTextsBothWays) {
  EXPECT_EQ(GuidText(kDfuInterfaceClass), "{3FE809AB-FB91-4CB5-A643-69670D52366E}");
  EXPECT_EQ(ParseGuid("{3FE809AB-FB91-4CB5-A643-69670D52366E}"), kDfuInterfaceClass);
  EXPECT_EQ(ParseGuid("{cb979912-5029-420a-aeb1-34fc0a7d5726}"), kSecondInterfaceClass);
  for (const char* wrong :
       {"", "3FE809AB-FB91-4CB5-A643-69670D52366E", "{3FE809AB-FB91-4CB5-A643-69670D52366E",
        "{3FE809AB-FB91-4CB5-A643-69670D52366EE}", "{3FE809AB+FB91-4CB5-A643-69670D52366E}",
        "{3FE809AB-FB91-4CB5-A643-69670D52366G}"}) {
    EXPECT_EQ(ParseGuid(wrong), std::nullopt) << wrong;
  }
}

}  // namespace
}  // namespace kestrune
