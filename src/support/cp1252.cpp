#include "support/cp1252.h"

#include <cstdint>

namespace kestrune {
namespace {

// Code points of the bytes 0x80 to 0x9F; the rest of the code page equals Latin-1.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t CodePointOf(unsigned char byte) {
  return (byte >= 0x80 && byte < 0xA0) ? kHighControls[byte - 0x80] : byte;
}

char ByteOf(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
    return static_cast<char>(c);
  }
  for (unsigned k = 0; k < 32; ++k) {
    if (kHighControls[k] == c) {
      return static_cast<char>(0x80 + k);
    }
  }
  return '?';
}

// Decodes one UTF-8 sequence at text[i]; advances i. Malformed input gives U+FFFD, one byte.
char32_t DecodeUtf8(std::string_view text, std::size_t& i) {
  const auto lead = static_cast<unsigned char>(text[i++]);
  int extra;
  char32_t c;
  if (lead < 0x80) {
    return lead;
  } else if (lead >= 0xC2 && lead < 0xE0) {
    extra = 1;
    c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead < 0xF0) {
    extra = 2;
    c = lead & 0x0F;
  } else if (lead >= 0xF0 && lead < 0xF5) {
    extra = 3;
    c = lead & 0x07;
  } else {
    return 0xFFFD;
  }
  const std::size_t start = i;
  for (int k = 0; k < extra; ++k) {
    if (i >= text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      i = start;
      return 0xFFFD;
    }
    c = (c << 6) | (static_cast<unsigned char>(text[i++]) & 0x3F);
  }
  const char32_t minimum[4] = {0, 0x80, 0x800, 0x10000};
  if (c < minimum[extra] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) {
    return 0xFFFD;
  }
  return c;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string Cp1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char byte : text) {
    AppendUtf8(out, CodePointOf(static_cast<unsigned char>(byte)));
  }
  return out;
}

std::string Utf8ToCp1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    out += ByteOf(DecodeUtf8(text, i));
  }
  return out;
}

}  // namespace kestrune
