#pragma once
// Time for polling loops and time-outs. Code that waits takes a Clock& so that tests run it on a
// virtual clock without real waiting.

#include <atomic>
#include <cstdint>

namespace kestrune {

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since an arbitrary start; wraps around like the system tick count.
  virtual std::uint32_t TickCount() = 0;
  // Gives up the thread for at least `ms` milliseconds (0: yield).
  virtual void Sleep(std::uint32_t ms) = 0;
};

// The real clock of the machine.
Clock& SystemClock();

// A clock that only moves when someone sleeps on it (or Advance is called): every Sleep returns at
// once after moving time forward. Safe to share between threads.
class VirtualClock final : public Clock {
 public:
  explicit VirtualClock(std::uint32_t start = 0) : m_now(start) {}
  std::uint32_t TickCount() override { return m_now.load(); }
  void Sleep(std::uint32_t ms) override;
  void Advance(std::uint32_t ms) { m_now.fetch_add(ms); }

 private:
  std::atomic<std::uint32_t> m_now;
};

}  // namespace kestrune
