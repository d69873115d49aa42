#include <fcntl.h>
#include <limits.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/file_bytes.h"
#include "platform/folder_walk.h"
#include "platform/platform.h"
#include "support/bounded_text.h"

namespace kestrune {
namespace {

// Opens a plain file for reading; never blocks on a pipe or device. -1 on failure.
int OpenPlainFile(const char* path, struct stat& info) {
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return -1;
  }
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool IsSlash(char c) {
  return c == '/';
}

folder_walk::Probe ProbePath(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) {
    return folder_walk::Probe::Missing;
  }
  return S_ISDIR(info.st_mode) ? folder_walk::Probe::Folder : folder_walk::Probe::Other;
}

bool MakeFolder(const std::string& path) {
  return ::mkdir(path.c_str(), 0777) == 0 || errno == EEXIST;
}

}  // namespace

PathKind GetPathKind(const char* path) {
  struct stat info;
  if (path == nullptr || path[0] == '\0' || ::stat(path, &info) != 0) {
    return kPathMissing;
  }
  if (!S_ISDIR(info.st_mode)) {
    return kPathFile;
  }
  struct stat root;
  if (::stat("/", &root) == 0 && root.st_dev == info.st_dev && root.st_ino == info.st_ino) {
    return kPathDriveRoot;
  }
  return kPathDirectory;
}

std::int64_t GetPlainFileSize(const char* path) {
  struct stat info;
  if (path == nullptr || ::stat(path, &info) != 0 || S_ISDIR(info.st_mode)) {
    return -1;
  }
  return static_cast<std::int64_t>(info.st_size);
}

ReadOnlyFileMapping::ReadOnlyFileMapping(const char* path) {
  struct stat info;
  const int fd = OpenPlainFile(path, info);
  if (fd < 0) {
    return;
  }
  if (info.st_size > 0 && static_cast<std::uint64_t>(info.st_size) <= UINT32_MAX) {
    const auto size = static_cast<std::size_t>(info.st_size);
    void* view = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (view != MAP_FAILED) {
      m_data = static_cast<const std::uint8_t*>(view);
      m_size = static_cast<std::uint32_t>(size);
    }
  }
  ::close(fd);  // the mapping keeps the file
}

ReadOnlyFileMapping::~ReadOnlyFileMapping() {
  if (m_data != nullptr) {
    ::munmap(const_cast<std::uint8_t*>(m_data), m_size);
  }
}

std::size_t ReadFileBytes(const char* path, char* bytes, std::size_t room) {
  struct stat info;
  const int fd = OpenPlainFile(path, info);
  std::size_t done = 0;
  if (fd >= 0) {
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    while (done < room) {
      const ssize_t n = ::read(fd, bytes + done, room - done);
      if (n < 0 && errno == EINTR) {
        continue;
      }
      if (n <= 0) {
        break;  // end of file, or an error after what was read so far
      }
      done += static_cast<std::size_t>(n);
    }
    ::close(fd);
  }
  return done;
}

std::int32_t CreateDirectoryPath(const char* path) {
  if (path == nullptr || path[0] == '\0') {
    return kFolderFailed;
  }
  std::string full;
  if (path[0] != '/') {
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd) == nullptr) {
      return kFolderFailed;
    }
    full = cwd;
    full += '/';
  }
  full += path;
  if (full.size() >= static_cast<std::size_t>(kMaxPath)) {
    return kFolderFailed;
  }
  if (full.find_first_not_of('/') == std::string::npos) {
    return kFolderPresent;  // the root
  }
  if (full.back() == '/') {
    full.pop_back();
  }
  static const folder_walk::FileSystem kPosix{IsSlash, ProbePath, MakeFolder};
  return folder_walk::CreateMissingFolders(full, 1, kPosix);
}

std::int32_t GetModulePath(char* buffer, std::int32_t capacity) {
  if (capacity < 1) {
    return 0;
  }
  const ssize_t n = ::readlink("/proc/self/exe", buffer, static_cast<std::size_t>(capacity));
  if (n <= 0 || n >= capacity) {
    buffer[0] = '\0';  // failed, or cut: a cut path names something else
    return 0;
  }
  buffer[n] = '\0';
  return static_cast<std::int32_t>(n);
}

}  // namespace kestrune
