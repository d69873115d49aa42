#include "support/whole_number.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

namespace kestrune {
namespace {

TEST(WholeNumber, TakesOnlyATextThatIsANumberAsAWhole) {
  struct Case {
    const char* text;
    NumberBase base;
    std::optional<std::uint32_t> value;
  };
  const Case cases[] = {
      {"1155", NumberBase::Decimal, 1155},
      {"0", NumberBase::Decimal, 0},
      {"4294967295", NumberBase::Decimal, 4294967295u},
      {"4294967296", NumberBase::Decimal, std::nullopt},  // beyond the type
      {"0x0483", NumberBase::Decimal, std::nullopt},      // hexadecimal not asked for
      {"0x0483", NumberBase::DecimalOrHex, 0x0483},
      {"0XdF11", NumberBase::DecimalOrHex, 0xDF11},
      {"0x", NumberBase::DecimalOrHex, std::nullopt},
      {"0x1G", NumberBase::DecimalOrHex, std::nullopt},
      {"", NumberBase::Decimal, std::nullopt},
      {" 12", NumberBase::Decimal, std::nullopt},
      {"12 ", NumberBase::Decimal, std::nullopt},
      {"+12", NumberBase::Decimal, std::nullopt},
      {"12a", NumberBase::Decimal, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseWholeNumber<std::uint32_t>(c.text, c.base), c.value) << '"' << c.text << '"';
  }
  // A sign is not part of a plain number, also where the type could hold it.
  EXPECT_EQ(ParseWholeNumber<std::int32_t>("-1"), std::nullopt);
  EXPECT_EQ(ParseWholeNumber<std::int32_t>("16777215"), 16777215);
}

}  // namespace
}  // namespace kestrune
