// The conversions between Windows-1252 program text and UTF-8 terminal text. Clang writes string
// literals only as UTF-8, so this build cannot compile program text as Windows-1252: the
// conversions are checked here on any bytes instead.

#include "fuzz_support.h"
#include "support/cp1252.h"

using namespace kestrune;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = fuzz::AsText(data, size);

  // Every byte is a character of Windows-1252, and its UTF-8 form leads back to it.
  const std::string utf8 = Cp1252ToUtf8(bytes);
  fuzz::Require(Utf8ToCp1252(utf8) == bytes,
                "Windows-1252 text survives the way to UTF-8 and back");
  fuzz::Require(utf8.size() >= bytes.size() && utf8.size() <= 3 * bytes.size(),
                "a byte becomes one to three bytes of UTF-8");

  // Any bytes read as UTF-8 give at most one character each, and that text converts back whole.
  const std::string narrow = Utf8ToCp1252(bytes);
  fuzz::Require(narrow.size() <= bytes.size(), "no UTF-8 byte becomes more than one character");
  fuzz::Require(Utf8ToCp1252(Cp1252ToUtf8(narrow)) == narrow,
                "converted text survives the way back and forth");
  return 0;
}
