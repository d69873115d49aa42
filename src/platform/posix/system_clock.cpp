#include <time.h>

#include <thread>

#include "platform/clock.h"

namespace kestrune {
namespace {

class PosixClock final : public Clock {
 public:
  std::uint32_t TickCount() override {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                                      static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u);
  }
  void Sleep(std::uint32_t ms) override {
    if (ms == 0) {
      std::this_thread::yield();
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
  }
};

}  // namespace

Clock& SystemClock() {
  // Never destroyed: threads of objects that outlive it at exit (a bench held in a static of a
  // preloaded library) may still sleep on it while the statics go.
  static PosixClock* const clock = new PosixClock;
  return *clock;
}

}  // namespace kestrune
