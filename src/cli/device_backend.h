#pragma once
// The device side of the commands that talk to a device (info, program, set-identity): the DFU
// library, the device bus and the clock, built from the global options. The DFU library speaks
// USB to the machine's own bus, or with --simulate (or KESTRUNE_SIMULATE in the environment) to a
// simulated bench (the default device keeps its memory images in the folder "simulator" beside
// the executable; a simulator file describes other devices).

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "cli/cli.h"
#include "device/device_bus.h"
#include "dfu/stdfu.h"
#include "platform/clock.h"

namespace kestrune {
class PlatformUsb;
class SimBench;
class UsbBackend;
}  // namespace kestrune

namespace kestrune::cli {

class DeviceBackend {
 public:
  // A backend over a bench made by the caller (tests).
  DeviceBackend(Clock& clock, std::unique_ptr<SimBench> bench);
  // A backend over the machine's USB.
  DeviceBackend(Clock& clock, std::unique_ptr<PlatformUsb> usb);
  ~DeviceBackend();
  DeviceBackend(const DeviceBackend&) = delete;
  DeviceBackend& operator=(const DeviceBackend&) = delete;

  StdfuLibrary& Dfu() { return *m_dfu; }
  DeviceBus& Bus() { return m_bus; }
  Clock& GetClock() { return m_clock; }

 private:
  DeviceBackend(Clock& clock, std::unique_ptr<SimBench> bench, std::unique_ptr<PlatformUsb> usb,
                UsbBackend& transport, DeviceBus& bus);

  Clock& m_clock;
  std::unique_ptr<SimBench> m_bench;
  std::unique_ptr<PlatformUsb> m_usb;
  DeviceBus& m_bus;
  std::unique_ptr<StdfuLibrary> m_dfu;
};

// The simulator file the options or the environment choose ("" for the default device), or
// nothing for the machine's USB. KESTRUNE_SIMULATE=1 means the default device, any other
// non-empty value names a file.
std::optional<std::string> ChosenSimulator(const GlobalOptions& options);

// The backend the options ask for, or null after a message on `err` when the simulated device
// cannot be made. Why a present USB device cannot be opened goes to `err` too.
std::unique_ptr<DeviceBackend> MakeDeviceBackend(const GlobalOptions& options, std::FILE* err);

}  // namespace kestrune::cli
