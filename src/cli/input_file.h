#pragma once
// Files named on the command line: a missing or unreadable one is refused with the reason before
// anything else happens, instead of being described as "no file" later.

#include <cstdint>
#include <optional>
#include <string>

namespace kestrune::cli {

// Why `path` cannot be read as a file ("No such file or directory", "is a folder"), or nothing.
std::optional<std::string> UnreadableReason(const std::string& path);

// "cannot read <what> '<path>': <reason>", or nothing when it can be read.
std::optional<std::string> CheckReadable(const std::string& what, const std::string& path);

// Judged by its size before a byte is read, so that a huge file is never read: why the file at
// `path` cannot be firmware when it has fewer than `smallest` or more than `largest` bytes.
std::optional<std::string> CheckFirmwareSize(const std::string& path, std::uint64_t smallest,
                                             std::uint64_t largest);

}  // namespace kestrune::cli
