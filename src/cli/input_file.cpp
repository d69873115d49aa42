#include "cli/input_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace kestrune::cli {

std::optional<std::string> UnreadableReason(const std::string& path) {
  const PathKind kind = GetPathKind(path.c_str());
  if (kind == kPathDirectory || kind == kPathDriveRoot) return "is a folder";
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    return errno != 0 ? std::strerror(errno) : "cannot be opened";
  }
  std::fclose(file);
  return std::nullopt;
}

std::optional<std::string> CheckReadable(const std::string& what, const std::string& path) {
  const std::optional<std::string> reason = UnreadableReason(path);
  if (!reason) return std::nullopt;
  return "cannot read " + what + " '" + path + "': " + *reason;
}

}  // namespace kestrune::cli
