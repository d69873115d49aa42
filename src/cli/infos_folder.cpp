#include "cli/infos_folder.h"

#include <cerrno>
#include <cstring>

#include "job/download_log.h"
#include "platform/platform.h"

namespace kestrune::cli {

std::optional<std::string> PrepareInfosFolder(const std::string& folder, std::FILE* err) {
  const PathKind kind = GetPathKind(folder.c_str());
  if (kind == kPathFile) return "the Infos folder '" + folder + "' is a file, not a folder";
  if (kind == kPathMissing) {
    if (CreateDirectoryPath(folder.c_str()) == kFolderFailed) {
      return "the Infos folder '" + folder + "' cannot be created";
    }
    std::fprintf(err, "kestrune: created the Infos folder '%s'\n", folder.c_str());
  }
  // An existing log is opened as the run will open it; a missing one is not made here (the run
  // writes its header with the first line), a probe beside it tells whether it could be.
  const std::string log = DownloadLogPath(folder);
  const bool existed = GetPathKind(log.c_str()) != kPathMissing;
  const std::string tried = existed ? log : log + ".probe";
  errno = 0;
  std::FILE* file = std::fopen(tried.c_str(), "ab");
  if (file == nullptr) {
    return "the download log '" + log +
           "' cannot be written: " + (errno != 0 ? std::strerror(errno) : "cannot be opened");
  }
  std::fclose(file);
  if (!existed) std::remove(tried.c_str());
  return std::nullopt;
}

}  // namespace kestrune::cli
