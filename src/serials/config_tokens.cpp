#include "serials/config_tokens.h"

#include <limits>
#include <utility>

namespace kestrune {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// Digit value of c, or 99 for anything that is no digit in any radix (including bytes >= 0x80).
int DigitValue(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u >= '0' && u <= '9') return u - '0';
  if (u >= 'A' && u <= 'Z') return u - 'A' + 10;
  if (u >= 'a' && u <= 'z') return u - 'a' + 10;
  return 99;
}

bool EndsUnquotedToken(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u <= 0x1F || c == ' ' || c == ',' || c == ';';
}

// Shared by both widths: unsigned arithmetic so that overflow wraps without undefined behaviour.
std::uint64_t ParseUnsigned(std::string_view text, int radix, unsigned bits) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && text[i] == '-') {
    negative = true;
    ++i;
  }
  if (i < text.size() && text[i] == '+') return 0;
  if (radix == 0) {
    radix = 10;
    if (i + 1 < text.size() && text[i] == '0') {
      switch (text[i + 1]) {
        case 'x':
        case 'X':
          radix = 16;
          i += 2;
          break;
        case 'o':
        case 'O':
          radix = 8;
          i += 2;
          break;
        case 'b':
        case 'B':
          radix = 2;
          i += 2;
          break;
        case 'd':
        case 'D':
          i += 2;
          break;
        default:
          break;
      }
    }
  }
  const std::uint64_t mask = bits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
  std::uint64_t value = 0;
  for (; i < text.size(); ++i) {
    const int digit = DigitValue(text[i]);
    if (digit >= radix) break;
    value = (value * static_cast<unsigned>(radix) + static_cast<unsigned>(digit)) & mask;
  }
  return negative ? (0 - value) & mask : value;
}

}  // namespace

std::size_t NextToken(std::string_view source, std::string& token) {
  token.clear();
  std::size_t i = 0;
  while (i < source.size() && IsBlank(source[i])) ++i;
  const auto keep = [&token](char c) {
    if (token.size() < kMaxTokenLength) token.push_back(c);
  };
  if (i < source.size() && source[i] == '"') {
    ++i;
    while (i < source.size()) {
      const char c = source[i];
      if (c == '\0' || c == '\r' || c == '\n') break;
      ++i;
      if (c == '"') break;
      keep(c);
      // The escaped character never reaches past the end of the text.
      if (c == '\\' && i < source.size() && source[i] != '\0') keep(source[i++]);
    }
    return i;
  }
  while (i < source.size() && !EndsUnquotedToken(source[i])) keep(source[i++]);
  return i;
}

std::int32_t ParseInt(std::string_view text, int radix) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(ParseUnsigned(text, radix, 32)));
}

std::int64_t ParseInt64(std::string_view text, int radix) {
  return static_cast<std::int64_t>(ParseUnsigned(text, radix, 64));
}

std::size_t ReplaceAll(std::string& text, std::string_view find, std::string_view replacement) {
  if (text.size() > kMaxTokenLength) text.resize(kMaxTokenLength);
  if (find.empty()) return text.size();
  std::string result;
  std::size_t pos = 0;
  for (std::size_t hit; (hit = text.find(find, pos)) != std::string::npos;
       pos = hit + find.size()) {
    result.append(text, pos, hit - pos);
    result.append(replacement);
  }
  result.append(text, pos);
  if (result.size() > kMaxTokenLength) result.resize(kMaxTokenLength);
  text = std::move(result);
  return text.size();
}

std::int32_t ParseDecimal(std::string_view text) {
  std::size_t i = 0;
  const auto isSpace = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (i < text.size() && isSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  // Accumulate as a negative number so that the lowest value fits.
  constexpr std::int64_t kLowest = std::numeric_limits<std::int32_t>::min();
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 - (text[i] - '0');
    if (value < kLowest) value = kLowest - 1;
  }
  if (negative) return static_cast<std::int32_t>(value < kLowest ? kLowest : value);
  return static_cast<std::int32_t>(value < -std::numeric_limits<std::int32_t>::max()
                                       ? std::numeric_limits<std::int32_t>::max()
                                       : -value);
}

}  // namespace kestrune
