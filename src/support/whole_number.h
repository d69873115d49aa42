#pragma once
// A number that is the whole of a text, decimal or, after "0x" or "0X", hexadecimal: no sign, no
// blanks, nothing after the digits. Nothing for an empty text, any other character or a value the
// type cannot hold. (Configuration files keep their own, lenient C-library reading.)

#include <charconv>
#include <optional>
#include <string_view>
#include <type_traits>

namespace kestrune {

enum class NumberBase { Decimal, DecimalOrHex };

template <typename Number>
std::optional<Number> ParseWholeNumber(std::string_view text,
                                       NumberBase base = NumberBase::Decimal) {
  static_assert(std::is_integral_v<Number>);
  int radix = 10;
  if (base == NumberBase::DecimalOrHex && text.size() > 2 && text[0] == '0' &&
      (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    radix = 16;
  }
  // from_chars takes a '-' for signed types: a text with one is not a plain number here.
  if (text.empty() || text[0] == '-') return std::nullopt;
  Number value{};
  const char* end = text.data() + text.size();
  const auto [at, error] = std::from_chars(text.data(), end, value, radix);
  if (error != std::errc() || at != end) return std::nullopt;
  return value;
}

}  // namespace kestrune
