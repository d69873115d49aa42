#include <windows.h>

#include "platform/file_bytes.h"
#include "platform/folder_walk.h"
#include "platform/platform.h"
#include "support/bounded_text.h"

namespace kestrune {
namespace {

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// A path that starts with a letter and ':' names a drive; the drive must exist.
bool NamesDrive(const char* path) {
  return path[0] != '\0' && path[1] == ':';
}

bool DrivePresent(char letter) {
  if (letter >= 'a' && letter <= 'z') {
    letter = static_cast<char>(letter - 'a' + 'A');
  }
  return letter >= 'A' && letter <= 'Z' && (GetLogicalDrives() >> (letter - 'A') & 1u) != 0;
}

// The absolute form of the path, or an empty text when it does not fit the path limit.
std::string FullPath(const char* path) {
  char buffer[kMaxPath];
  const DWORD n = GetFullPathNameA(path, kMaxPath, buffer, nullptr);
  if (n == 0 || n >= static_cast<DWORD>(kMaxPath)) {
    return {};
  }
  return std::string(buffer, n);
}

folder_walk::Probe ProbePath(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return folder_walk::Probe::Missing;
  }
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? folder_walk::Probe::Folder
                                                 : folder_walk::Probe::Other;
}

bool MakeFolder(const std::string& path) {
  return CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

}  // namespace

PathKind GetPathKind(const char* path) {
  if (path == nullptr || path[0] == '\0') {
    return kPathMissing;
  }
  if (NamesDrive(path)) {
    if (!DrivePresent(path[0])) {
      return kPathMissing;
    }
    if (IsSeparator(path[2]) && path[3] == '\0') {
      return kPathDriveRoot;
    }
    if (path[2] == '\0') {
      // "C:" is the drive's current folder, which may be its root.
      const std::string full = FullPath(path);
      return full.size() == 3 ? kPathDriveRoot : kPathDirectory;
    }
  }
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return kPathMissing;
  }
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? kPathDirectory : kPathFile;
}

std::int64_t GetPlainFileSize(const char* path) {
  // Asked by name, without the wildcards a directory search would honour.
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (path == nullptr || !GetFileAttributesExA(path, GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return -1;
  }
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(data.nFileSizeHigh) << 32 |
                                   data.nFileSizeLow);
}

ReadOnlyFileMapping::ReadOnlyFileMapping(const char* path) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return;
  }
  LARGE_INTEGER size;
  HANDLE mapping = nullptr;
  if (GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &size) && size.QuadPart > 0 &&
      size.QuadPart <= static_cast<LONGLONG>(UINT32_MAX)) {
    mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  }
  if (mapping != nullptr) {
    const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    if (view != nullptr) {
      m_data = static_cast<const std::uint8_t*>(view);
      m_size = static_cast<std::uint32_t>(size.QuadPart);
      m_mapping = reinterpret_cast<std::intptr_t>(mapping);
      m_file = reinterpret_cast<std::intptr_t>(file);
      return;
    }
    CloseHandle(mapping);
  }
  CloseHandle(file);
}

ReadOnlyFileMapping::~ReadOnlyFileMapping() {
  if (m_data != nullptr) {
    UnmapViewOfFile(m_data);
    CloseHandle(reinterpret_cast<HANDLE>(m_mapping));
    CloseHandle(reinterpret_cast<HANDLE>(m_file));
  }
}

std::size_t ReadFileBytes(const char* path, char* bytes, std::size_t room) {
  DWORD done = 0;
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    // A failed read that delivered bytes still counts with what it delivered.
    ReadFile(file, bytes, static_cast<DWORD>(room), &done, nullptr);
    CloseHandle(file);
  }
  return done;
}

std::int32_t CreateDirectoryPath(const char* path) {
  if (path == nullptr || path[0] == '\0') {
    return kFolderFailed;
  }
  if (NamesDrive(path) && !DrivePresent(path[0])) {
    return kFolderFailed;
  }
  std::string full = FullPath(path);
  if (full.empty()) {
    return kFolderFailed;
  }
  const std::size_t length = full.size();
  if (length >= 3 && full[length - 2] == ':' && IsSeparator(full[length - 1])) {
    return kFolderPresent;
  }
  if (IsSeparator(full.back())) {
    full.pop_back();
  }
  std::size_t start = 0;
  if (full.size() >= 2 && full[0] == '\\' && full[1] == '\\') {
    // \\server\share\...: the server and the share are never created.
    const std::size_t server = full.find_first_of("\\/", 2);
    if (server == std::string::npos) {
      return kFolderPresent;
    }
    const std::size_t share = full.find_first_of("\\/", server + 1);
    start = share == std::string::npos ? full.size() : share + 1;
  } else if (full.size() >= 2 && full[1] == ':') {
    start = 3;  // behind "C:\"
  }
  static const folder_walk::FileSystem kWin32{IsSeparator, ProbePath, MakeFolder};
  return folder_walk::CreateMissingFolders(full, start, kWin32);
}

std::int32_t GetModulePath(char* buffer, std::int32_t capacity) {
  if (capacity < 1) {
    return 0;
  }
  const DWORD n = GetModuleFileNameA(nullptr, buffer, static_cast<DWORD>(capacity));
  if (n == 0 || n >= static_cast<DWORD>(capacity)) {
    buffer[0] = '\0';  // failed, or cut: a cut path names something else
    return 0;
  }
  buffer[n] = '\0';
  return static_cast<std::int32_t>(n);
}

}  // namespace kestrune
