#pragma once
// The device side of the commands that talk to a device (info, program, set-identity): the DFU
// library, the device bus and the clock, built from the global options. With --simulate it is a
// simulated bench (the default device keeps its memory images in the folder "simulator" beside
// the executable; a simulator file describes other devices) under the DFU library over USB.

#include <cstdio>
#include <memory>

#include "cli/cli.h"
#include "device/device_bus.h"
#include "dfu/stdfu.h"
#include "platform/clock.h"

namespace kestrune {
class SimBench;
}

namespace kestrune::cli {

class DeviceBackend {
 public:
  // A backend over a bench made by the caller (tests).
  DeviceBackend(Clock& clock, std::unique_ptr<SimBench> bench);
  ~DeviceBackend();
  DeviceBackend(const DeviceBackend&) = delete;
  DeviceBackend& operator=(const DeviceBackend&) = delete;

  StdfuLibrary& Dfu() { return *m_dfu; }
  DeviceBus& Bus();
  Clock& GetClock() { return m_clock; }

 private:
  Clock& m_clock;
  std::unique_ptr<SimBench> m_bench;
  std::unique_ptr<StdfuLibrary> m_dfu;
};

// The backend the options ask for, or null after a message on `err`: without --simulate (no USB
// transport is built into this program yet), or when the simulated device cannot be made.
std::unique_ptr<DeviceBackend> MakeDeviceBackend(const GlobalOptions& options, std::FILE* err);

}  // namespace kestrune::cli
