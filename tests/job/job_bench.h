#pragma once
// One simulated device on a virtual clock, the DFU library over it, a recording host and a
// temporary folder for the firmware file and the log: everything a programming run needs.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "job/run_events.h"
#include "platform/clock.h"
#include "sim/sim_bench.h"
#include "sim/sim_config.h"
#include "testkit/recording_run_events.h"
#include "testkit/temp_folder.h"
#include "testkit/watched_stdfu.h"
#include "usb/usb_stdfu.h"

namespace kestrune {

// The option bytes a run wants: nothing to rewrite.
SimDeviceConfig DeviceWithOptionsInPlace();

// Flash address of the first sector of every simulated part.
inline constexpr std::uint32_t kFlashStart = 0x08000000;

class JobBench {
 public:
  explicit JobBench(SimDeviceConfig config = DefaultSimDevice(""));

  // Writes a firmware file of `size` bytes (a pattern without long runs of 0xFF).
  void WriteFirmware(std::uint32_t size);
  // The memory map of one interface string in place of the device's own.
  void UseMap(const std::string& interfaceString);
  void Run();

  std::vector<std::uint8_t> Flash(std::uint32_t length) const;
  std::vector<std::uint8_t> OptionBytes() const;
  std::string Log() const;
  // Erase commands sent and option blocks written during the run.
  int Erases() const { return m_erases; }
  int OptionWrites() const { return m_optionWrites; }

  // Checks what every run must leave: Finished once and last, no connection open now or while an
  // error box was up, and at most one error box.
  void ExpectCleanEnd() const;

  VirtualClock clock;
  SimBench bench{clock};
  UsbStdfuLibrary usb{bench, clock};
  testkit::WatchedStdfu dfu{usb};
  testkit::RecordingRunEvents host{[this] { return dfu.OpenConnections(); }};
  testkit::TempFolder temp;
  std::size_t device = 0;
  JobInputs inputs;
  std::vector<std::uint8_t> firmware;

 private:
  std::atomic<int> m_erases{0};
  std::atomic<int> m_optionWrites{0};
};

}  // namespace kestrune
