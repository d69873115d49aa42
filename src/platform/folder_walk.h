#pragma once
// The part of folder-path creation that is the same on every system: walking the components of
// an absolute path and creating the missing ones.

#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrune::folder_walk {

enum class Probe { Missing, Folder, Other };

struct FileSystem {
  bool (*isSeparator)(char c);
  Probe (*probe)(const std::string& path);
  // True when the folder was made or the system reports that it exists already.
  bool (*makeFolder)(const std::string& path);
};

// `path` is absolute without a trailing separator; components start at `start`, the part before
// it is never created. Returns the CreateDirectoryPath result.
std::int32_t CreateMissingFolders(const std::string& path, std::size_t start, const FileSystem& fs);

}  // namespace kestrune::folder_walk
