#include <windows.h>

#include "platform/clock.h"

namespace kestrune {
namespace {

class Win32Clock final : public Clock {
 public:
  std::uint32_t TickCount() override { return static_cast<std::uint32_t>(GetTickCount64()); }
  void Sleep(std::uint32_t ms) override { ::Sleep(ms); }
};

}  // namespace

Clock& SystemClock() {
  // Never destroyed: threads of objects that outlive it at exit (a bench held in a static of a
  // preloaded library) may still sleep on it while the statics go.
  static Win32Clock* const clock = new Win32Clock;
  return *clock;
}

}  // namespace kestrune
