#pragma once
// Files named on the command line: a missing or unreadable one is refused with the reason before
// anything else happens, instead of being described as "no file" later.

#include <optional>
#include <string>

namespace kestrune::cli {

// Why `path` cannot be read as a file ("No such file or directory", "is a folder"), or nothing.
std::optional<std::string> UnreadableReason(const std::string& path);

// "cannot read <what> '<path>': <reason>", or nothing when it can be read.
std::optional<std::string> CheckReadable(const std::string& what, const std::string& path);

}  // namespace kestrune::cli
