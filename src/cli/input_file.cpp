#include "cli/input_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

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

std::optional<std::string> CheckFirmwareSize(const std::string& path, std::uint64_t smallest,
                                             std::uint64_t largest) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error) return "cannot read firmware file '" + path + "': " + error.message();
  if (size < smallest) {
    return "firmware file '" + path + "' has " + std::to_string(size) +
           " bytes; firmware has at least " + std::to_string(smallest);
  }
  if (size > largest) {
    return "firmware file '" + path + "' has " + std::to_string(size) +
           " bytes; firmware has at most " + std::to_string(largest);
  }
  return std::nullopt;
}

}  // namespace kestrune::cli
