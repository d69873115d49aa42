#pragma once
// Program text is Windows-1252; terminals speak UTF-8.

#include <string>
#include <string_view>

namespace kestrune {

// Every byte maps to one code point; the five bytes that Windows-1252 leaves undefined map to the
// C1 control of the same value, so the conversion can be undone.
std::string Cp1252ToUtf8(std::string_view text);

// Characters without a Windows-1252 byte and malformed UTF-8 become '?'.
std::string Utf8ToCp1252(std::string_view text);

// Appends the UTF-8 encoding of one code point of the basic plane.
void AppendUtf8(std::string& out, char32_t c);

}  // namespace kestrune
