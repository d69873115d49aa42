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
  static Win32Clock clock;
  return clock;
}

}  // namespace kestrune
