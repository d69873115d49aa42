#pragma once
// --json: the result of a command as one JSON document on stdout, texts in UTF-8.

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string_view>

namespace kestrune::cli {

using Json = nlohmann::ordered_json;

// The program's own (Windows-1252) text as a JSON string.
Json JsonText(std::string_view cp1252);

void PrintJson(std::FILE* out, const Json& document);

}  // namespace kestrune::cli
