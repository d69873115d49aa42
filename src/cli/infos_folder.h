#pragma once
// The Infos folder of a programming run, made ready before the device is touched: a run whose
// log line cannot be written would program the device and then end without its record.

#include <cstdio>
#include <optional>
#include <string>

namespace kestrune::cli {

// Creates a missing folder (saying so on `err`, since a mistyped --infos would otherwise start a
// new log unnoticed) and tries whether DownloadList.csv can be appended to. Returns why the run
// must be refused: the path is a file, the folder cannot be created, or the log cannot be written.
std::optional<std::string> PrepareInfosFolder(const std::string& folder, std::FILE* err);

}  // namespace kestrune::cli
