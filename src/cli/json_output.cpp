#include "cli/json_output.h"

#include "support/cp1252.h"

namespace kestrune::cli {

Json JsonText(std::string_view cp1252) {
  return Cp1252ToUtf8(cp1252);
}

void PrintJson(std::FILE* out, const Json& document) {
  // Replace, not throw: a path from the command line need not be valid UTF-8.
  const std::string text = document.dump(2, ' ', false, Json::error_handler_t::replace);
  std::fprintf(out, "%s\n", text.c_str());
  std::fflush(out);
}

}  // namespace kestrune::cli
