#pragma once
// A semaphore with a count of 0 or 1 on a mutex and a condition variable. std::binary_semaphore
// of the MinGW-w64 GCC 12 library can miss a release on Windows (its atomic wait has no
// platform wait there) and leave the waiter blocked for good.

#include <condition_variable>
#include <mutex>

namespace kestrune {

class BinarySemaphore {
 public:
  explicit BinarySemaphore(int count) : m_count(count > 0 ? 1 : 0) {}

  // Waits without time-out until the count is 1, then takes it.
  void acquire() {
    std::unique_lock lock(m_mutex);
    m_available.wait(lock, [this] { return m_count == 1; });
    m_count = 0;
  }
  // Gives the count back (at most 1) and wakes one waiter.
  void release() {
    {
      std::lock_guard lock(m_mutex);
      m_count = 1;
    }
    m_available.notify_one();
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_available;
  int m_count;
};

}  // namespace kestrune
