#pragma once
// The device side of both front ends: the DFU library, the device bus and the clock. The DFU
// library speaks USB to the machine's own bus, or, when the operator chooses the simulator
// (--simulate on the command line, KESTRUNE_SIMULATE in the environment), to a simulated bench
// (the default device keeps its memory images in the folder "simulator" beside the program; a
// simulator file describes other devices).

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/device_bus.h"
#include "dfu/stdfu.h"
#include "platform/clock.h"
#include "usb/platform_usb.h"
#include "usb/usb_device.h"

namespace kestrune {

class SimBench;

class DeviceBackend {
 public:
  // A backend over a bench made by the caller (tests).
  DeviceBackend(Clock& clock, std::unique_ptr<SimBench> bench);
  // A backend over the machine's USB (or a platform without devices).
  DeviceBackend(Clock& clock, std::unique_ptr<PlatformUsb> usb);
  ~DeviceBackend();
  DeviceBackend(const DeviceBackend&) = delete;
  DeviceBackend& operator=(const DeviceBackend&) = delete;

  StdfuLibrary& Dfu() { return *m_dfu; }
  DeviceBus& Bus() { return m_bus; }
  Clock& GetClock() { return m_clock; }
  // The device-interface classes whose notifications concern discovery (see PlatformUsb).
  std::vector<Guid> NotificationClasses();

 private:
  DeviceBackend(Clock& clock, UsbBackend& transport, DeviceBus& bus);

  Clock& m_clock;
  std::unique_ptr<SimBench> m_bench;
  std::unique_ptr<PlatformUsb> m_usb;
  DeviceBus& m_bus;
  std::unique_ptr<StdfuLibrary> m_dfu;
};

// The simulator file chosen by `option` (the command line's --simulate) or else by the
// environment ("" for the default device), or nothing for the machine's USB. KESTRUNE_SIMULATE=1
// means the default device, empty or 0 the machine's USB, any other value names a file.
std::optional<std::string> ChosenSimulator(const std::optional<std::string>& option = {});

struct BackendChoice {
  std::unique_ptr<DeviceBackend> backend;  // null when `error` says why
  std::string error;
};

// The simulated bench `simulator` names, or the machine's USB without one. Why a present USB
// device cannot be used goes to `problems`.
BackendChoice MakeDeviceBackend(const std::optional<std::string>& simulator,
                                UsbOpenProblemSink problems,
                                DeviceNotifications notifications = DeviceNotifications::ByTheBus);

// Discovery and a run may both fail to open the same device: `sink` hears each problem once.
UsbOpenProblemSink OnceEach(UsbOpenProblemSink sink);

}  // namespace kestrune
