#pragma once
// Reading the operator's hand-written configuration files: tokens and numbers. Every function
// takes the text as a view and never reads past it; the end of the view acts like a NUL.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrune {

// Tokens are kept to this many characters; longer ones are cut.
inline constexpr std::size_t kMaxTokenLength = 127;

// Reads one token from `source` into `token` (cut to kMaxTokenLength) and returns the number of
// source characters consumed: leading spaces and tabs, and for a quoted token the quotes too.
// A quoted token runs to the closing quote, a NUL, CR or LF; a backslash takes the character
// after it into the token and stays in the token itself. An unquoted token runs to the first
// control character, space, comma or semicolon, which is left in place, so the token after a
// comma or semicolon is empty.
std::size_t NextToken(std::string_view source, std::string& token);

// Integer with optional blanks and '-' before it. Radix 0 chooses it from a prefix: "0x"
// hexadecimal, "0o" octal, "0b" binary, "0d" or none decimal (a lone leading zero is not octal).
// Digits are 0-9 then A-Z/a-z; reading stops at the first digit not below the radix. A '+' gives
// 0. Overflow wraps around modulo 2^32 instead of failing.
std::int32_t ParseInt(std::string_view text, int radix = 0);
std::int64_t ParseInt64(std::string_view text, int radix = 0);

// Replaces every occurrence of `find`, left to right, keeping at most kMaxTokenLength
// characters; returns the new length. An empty `find` changes nothing.
std::size_t ReplaceAll(std::string& text, std::string_view find, std::string_view replacement);

// Decimal number as the C library reads one: leading white space, optional sign, digits;
// anything else ends it; no digits give 0. Values beyond the 32-bit range stop at its limits.
std::int32_t ParseDecimal(std::string_view text);

}  // namespace kestrune
