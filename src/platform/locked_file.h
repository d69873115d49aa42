#pragma once
// A file held under the operating system's lock (flock, LockFileEx) while the object lives, so
// that every read-check-append of several processes, or of several stations on one network
// share, happens one after the other. The lock goes with the process: one that dies holding it
// releases it.

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrune {

class LockedFile {
 public:
  enum class Access { Shared, Exclusive };

  // Opens `path`, creating the file (never its folder) when missing, and waits for the lock up to
  // `waitMs` milliseconds. IsOpen() tells whether both succeeded; Error() what failed.
  LockedFile(const std::string& path, Access access, std::uint32_t waitMs);
  ~LockedFile();
  LockedFile(const LockedFile&) = delete;
  LockedFile& operator=(const LockedFile&) = delete;

  bool IsOpen() const { return m_handle != kNoHandle; }
  const std::string& Error() const { return m_error; }
  // The file opened but another holder kept the lock for the whole wait.
  bool HeldElsewhere() const { return m_heldElsewhere; }

  // The whole content, at most `limit` bytes (false beyond it, or when it cannot be read).
  bool ReadAll(std::string& content, std::size_t limit);
  // Writes `text` at the end of the file and flushes it to the disk.
  bool Append(std::string_view text);
  // Empties the file, without waiting for the disk: what it held is kept elsewhere already.
  bool Truncate();

 private:
  static constexpr std::intptr_t kNoHandle = -1;
  std::intptr_t m_handle = kNoHandle;
  std::string m_error;
  bool m_heldElsewhere = false;
};

}  // namespace kestrune
