#include "serials/config_tokens.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrune {
namespace {

using namespace std::string_view_literals;

TEST(NextToken, SplitsAndConsumesAsTheFilesNeed) {
  struct Case {
    std::string_view source;
    std::string_view token;
    std::size_t consumed;
  };
  const Case cases[] = {
      {"RANGE 00-11", "RANGE", 5},
      {" \t RANGE\r\n", "RANGE", 8},
      {",00-11", "", 0},  // a comma is no separator: the token before it is empty
      {";x", "", 0},
      {"", "", 0},
      {"  ", "", 2},
      {"a\x01"
       "b",
       "a", 1},
      {"a\x7F\xE4 b", "a\x7F\xE4", 3},  // DEL and bytes above 0x7F belong to the token
      {"\"a b\" c", "a b", 5},
      {"\"a\\\"b\"", "a\\\"b", 6},  // an escaped quote stays, with its backslash
      {"\"open", "open", 5},        // a quote without its end runs to the end of the text
      {"\"open\r\n", "open", 5},
      {"\"a\\", "a\\", 3},  // a backslash at the very end takes nothing with it
      {"\"a\\\0b\"", "a\\", 3},
      {"\"\"x", "", 2},
  };
  for (const Case& c : cases) {
    std::string token = "stale";
    EXPECT_EQ(NextToken(c.source, token), c.consumed) << c.source;
    EXPECT_EQ(token, c.token) << c.source;
  }
}

TEST(NextToken, CutsLongTokensButConsumesThemWhole) {
  const std::string unquoted(300, 'A');
  const std::string quoted = "\"" + std::string(300, 'B') + "\" next";
  std::string token;
  EXPECT_EQ(NextToken(unquoted, token), 300u);
  EXPECT_EQ(token, std::string(127, 'A'));
  EXPECT_EQ(NextToken(quoted, token), 302u);
  EXPECT_EQ(token, std::string(127, 'B'));
}

TEST(ParseInt, ChoosesTheRadixFromThePrefix) {
  struct Case {
    std::string_view text;
    std::int32_t value;
  };
  const Case cases[] = {
      {"1000", 1000},
      {"0x400", 1024},
      {"0X1f", 31},
      {"0o17", 15},
      {"0O17", 15},
      {"0b1010", 10},
      {"0B11", 3},
      {"0d99", 99},
      {"010", 10},
      {"0", 0},
      {"", 0},
      {" \t42", 42},
      {"-5", -5},
      {"-0x10", -16},
      {"+5", 0},
      {"-+5", 0},
      {"12ab", 12},
      {"0x1G", 1},
      {"0b102", 2},
      {"0xZ", 0},
      {"4\xE9"
       "5",
       4},
      {"1048576", 1048576},
      {"1048577", 1048577},
      {"4294967297", 1},  // wraps around
      {"0x80000000", static_cast<std::int32_t>(0x80000000u)},
      {"99999999999999999999", static_cast<std::int32_t>(0x630FFFFFu)},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseInt(c.text), c.value) << c.text;
}

TEST(ParseInt64, ReadsFixedRadixDigitByDigit) {
  EXPECT_EQ(ParseInt64("001122334455", 16), 0x001122334455);
  EXPECT_EQ(ParseInt64("FFFFFFFFFFFF", 16), 0xFFFFFFFFFFFF);
  EXPECT_EQ(ParseInt64("0x1122", 16), 0);  // no prefix with a fixed radix: 'x' ends the number
  EXPECT_EQ(ParseInt64("0011G2334455", 16), 0x0011);
  EXPECT_EQ(ParseInt64("aBcDeF", 16), 0xABCDEF);
  EXPECT_EQ(ParseInt64("10000000000000000", 16), 0);  // wraps at 64 bits
}

TEST(ReplaceAll, RemovesAndReplacesWithinTheLimit) {
  std::string mac = "00-11-22-33-44-55";
  EXPECT_EQ(ReplaceAll(mac, "-", ""), 12u);
  EXPECT_EQ(mac, "001122334455");

  std::string text = "aaa";
  EXPECT_EQ(ReplaceAll(text, "aa", "b"), 2u);  // left to right, no overlaps
  EXPECT_EQ(text, "ba");
  EXPECT_EQ(ReplaceAll(text, "", "x"), 2u);
  EXPECT_EQ(text, "ba");

  std::string grows(100, '-');
  EXPECT_EQ(ReplaceAll(grows, "-", "xy"), 127u);
  std::string expected;
  while (expected.size() < 127) expected += "xy";
  expected.resize(127);
  EXPECT_EQ(grows, expected);
}

TEST(ParseDecimal, ReadsLikeTheCLibrary) {
  struct Case {
    std::string_view text;
    std::int32_t value;
  };
  const Case cases[] = {
      {"500000\r\n", 500000},
      {" \t\n 42", 42},
      {"+7", 7},
      {"-7", -7},
      {"", 0},
      {"abc", 0},
      {"0x10", 0},
      {"12 34", 12},
      {"2147483647", 2147483647},
      {"2147483648", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"-99999999999999999999", -2147483647 - 1},
      {"99999999999999999999999", 2147483647},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseDecimal(c.text), c.value) << c.text;
}

}  // namespace
}  // namespace kestrune
