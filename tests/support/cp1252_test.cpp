#include "support/cp1252.h"

#include <gtest/gtest.h>

namespace kestrune {
namespace {

TEST(Cp1252, ConvertsTheProgramTextsForTheTerminal) {
  EXPECT_EQ(Cp1252ToUtf8("Ger\xe4t \x80 \x84\x93"),
            "Ger\xc3\xa4t \xe2\x82\xac \xe2\x80\x9e\xe2\x80\x9c");
  EXPECT_EQ(Utf8ToCp1252("Ger\xc3\xa4t \xe2\x82\xac"), "Ger\xe4t \x80");
}

TEST(Cp1252, EveryByteSurvivesTheRoundTrip) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);
}

TEST(Cp1252, UnmappableAndMalformedInputBecomesQuestionMarks) {
  const struct {
    std::string utf8;
    std::string cp1252;
  } cases[] = {
      {"\xe2\x86\x92x", "?x"},    // an arrow has no byte
      {"\xf0\x9f\x98\x80", "?"},  // nor has an emoji
      {"\xc3", "?"},              // cut sequence
      {"\xc3x", "?x"},            // bad continuation
      {"\xc0\xaf", "??"},         // overlong
      {"\xed\xa0\x80", "?"},      // surrogate
      {"\xc2\x85", "?"},          // a C1 control that has no byte of its own
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8ToCp1252(c.utf8), c.cp1252);
  }
}

}  // namespace
}  // namespace kestrune
