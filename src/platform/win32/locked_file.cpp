#include "platform/locked_file.h"

#include <windows.h>

#include "platform/clock.h"

namespace kestrune {
namespace {

std::string Failure(const char* what, const std::string& path) {
  return std::string(what) + " " + path + " (error " + std::to_string(GetLastError()) + ")";
}

HANDLE Handle(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

constexpr std::uint32_t kLockPollMs = 5;

}  // namespace

LockedFile::LockedFile(const std::string& path, Access access, std::uint32_t waitMs) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    m_error = Failure("cannot open", path);
    return;
  }
  if (GetFileType(file) != FILE_TYPE_DISK) {
    m_error = "not a plain file: " + path;
    CloseHandle(file);
    return;
  }
  // The whole file, however long it grows; polled so that a hung share ends in an error.
  const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY |
                      (access == Access::Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : DWORD{0});
  Clock& clock = SystemClock();
  const std::uint32_t start = clock.TickCount();
  for (;;) {
    OVERLAPPED at{};
    if (LockFileEx(file, flags, 0, MAXDWORD, MAXDWORD, &at)) break;
    if (GetLastError() != ERROR_LOCK_VIOLATION || clock.TickCount() - start >= waitMs) {
      m_heldElsewhere = GetLastError() == ERROR_LOCK_VIOLATION;
      m_error = Failure("cannot lock", path);
      CloseHandle(file);
      return;
    }
    clock.Sleep(kLockPollMs);
  }
  m_handle = reinterpret_cast<std::intptr_t>(file);
}

LockedFile::~LockedFile() {
  if (!IsOpen()) return;
  OVERLAPPED at{};
  UnlockFileEx(Handle(m_handle), 0, MAXDWORD, MAXDWORD, &at);
  CloseHandle(Handle(m_handle));
}

bool LockedFile::ReadAll(std::string& content, std::size_t limit) {
  content.clear();
  if (SetFilePointer(Handle(m_handle), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
    return false;
  }
  char buffer[65536];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(Handle(m_handle), buffer, sizeof buffer, &n, nullptr)) return false;
    if (n == 0) return true;
    if (content.size() + n > limit) return false;
    content.append(buffer, n);
  }
}

bool LockedFile::Append(std::string_view text) {
  LARGE_INTEGER end{};
  if (!SetFilePointerEx(Handle(m_handle), end, nullptr, FILE_END)) return false;
  while (!text.empty()) {
    DWORD n = 0;
    if (!WriteFile(Handle(m_handle), text.data(), static_cast<DWORD>(text.size()), &n, nullptr) ||
        n == 0) {
      return false;
    }
    text.remove_prefix(n);
  }
  return FlushFileBuffers(Handle(m_handle)) != 0;
}

bool LockedFile::Truncate() {
  LARGE_INTEGER start{};
  return SetFilePointerEx(Handle(m_handle), start, nullptr, FILE_BEGIN) &&
         SetEndOfFile(Handle(m_handle));
}

}  // namespace kestrune
