#include "platform/clock.h"

#include <thread>

namespace kestrune {

void VirtualClock::Sleep(std::uint32_t ms) {
  m_now.fetch_add(ms);
  // Let a worker on another thread make progress, as a real sleep would.
  std::this_thread::yield();
}

}  // namespace kestrune
