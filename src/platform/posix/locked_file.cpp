#include "platform/locked_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/clock.h"

namespace kestrune {
namespace {

std::string Failure(const char* what, const std::string& path) {
  return std::string(what) + " " + path + ": " + std::strerror(errno);
}

// Retries a call that a signal interrupted.
template <typename Call>
auto Retrying(Call call) {
  decltype(call()) result;
  do {
    result = call();
  } while (result < 0 && errno == EINTR);
  return result;
}

constexpr std::uint32_t kLockPollMs = 5;

}  // namespace

LockedFile::LockedFile(const std::string& path, Access access, std::uint32_t waitMs) {
  const int fd = Retrying([&] { return ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0664); });
  if (fd < 0) {
    m_error = Failure("cannot open", path);
    return;
  }
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    m_error = "not a plain file: " + path;
    ::close(fd);
    return;
  }
  // Polled rather than blocking, so that a lock held on a hung share ends in an error.
  const int operation = (access == Access::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
  Clock& clock = SystemClock();
  const std::uint32_t start = clock.TickCount();
  while (::flock(fd, operation) != 0) {
    if ((errno != EWOULDBLOCK && errno != EINTR) || clock.TickCount() - start >= waitMs) {
      m_heldElsewhere = errno == EWOULDBLOCK;
      m_error = Failure("cannot lock", path);
      ::close(fd);
      return;
    }
    clock.Sleep(kLockPollMs);
  }
  m_handle = fd;
}

LockedFile::~LockedFile() {
  if (IsOpen()) ::close(static_cast<int>(m_handle));  // closing releases the lock
}

bool LockedFile::ReadAll(std::string& content, std::size_t limit) {
  const int fd = static_cast<int>(m_handle);
  content.clear();
  if (::lseek(fd, 0, SEEK_SET) != 0) return false;
  char buffer[65536];
  for (;;) {
    const ssize_t n = Retrying([&] { return ::read(fd, buffer, sizeof buffer); });
    if (n < 0) return false;
    if (n == 0) return true;
    if (content.size() + static_cast<std::size_t>(n) > limit) return false;
    content.append(buffer, static_cast<std::size_t>(n));
  }
}

bool LockedFile::Append(std::string_view text) {
  const int fd = static_cast<int>(m_handle);
  if (::lseek(fd, 0, SEEK_END) < 0) return false;
  while (!text.empty()) {
    const ssize_t n = Retrying([&] { return ::write(fd, text.data(), text.size()); });
    if (n <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return ::fsync(fd) == 0;
}

bool LockedFile::Truncate() {
  const int fd = static_cast<int>(m_handle);
  return ::ftruncate(fd, 0) == 0;
}

}  // namespace kestrune
