#include "platform/folder_walk.h"

#include "platform/platform.h"

namespace kestrune::folder_walk {

std::int32_t CreateMissingFolders(const std::string& path, std::size_t start,
                                  const FileSystem& fs) {
  switch (fs.probe(path)) {
    case Probe::Folder:
      return kFolderPresent;
    case Probe::Other:
      return kFolderFailed;
    case Probe::Missing:
      break;
  }
  if (start >= path.size()) {
    return kFolderFailed;  // only a part that may not be created, and it is missing
  }
  bool allExisted = true;
  std::size_t begin = start;
  while (begin <= path.size()) {
    std::size_t end = begin;
    while (end < path.size() && !fs.isSeparator(path[end])) {
      ++end;
    }
    if (end == begin) {
      return kFolderFailed;  // two separators in a row
    }
    const std::string prefix = path.substr(0, end);
    if (allExisted && fs.probe(prefix) != Probe::Missing) {
      // Present, or a file: a file fails at the next creation below it.
    } else {
      allExisted = false;
      if (!fs.makeFolder(prefix)) {
        return kFolderFailed;
      }
    }
    begin = end + 1;
  }
  return kFolderCreated;
}

}  // namespace kestrune::folder_walk
