#include "backend/device_backend.h"

#include <cstdlib>
#include <mutex>
#include <set>
#include <string>

#include "backend/data_folders.h"
#include "sim/sim_bench.h"
#include "sim/sim_file.h"
#include "usb/usb_stdfu.h"

namespace kestrune {

DeviceBackend::DeviceBackend(Clock& clock, UsbBackend& transport, DeviceBus& bus)
    : m_clock(clock), m_bus(bus), m_dfu(std::make_unique<UsbStdfuLibrary>(transport, clock)) {}

DeviceBackend::DeviceBackend(Clock& clock, std::unique_ptr<SimBench> bench)
    : DeviceBackend(clock, *bench, *bench) {
  m_bench = std::move(bench);
}

DeviceBackend::DeviceBackend(Clock& clock, std::unique_ptr<PlatformUsb> usb)
    : DeviceBackend(clock, usb->Usb(), usb->Bus()) {
  m_usb = std::move(usb);
}

DeviceBackend::~DeviceBackend() = default;

std::vector<Guid> DeviceBackend::NotificationClasses() {
  if (m_usb) return m_usb->NotificationClasses();
  return {kDfuInterfaceClass, kSecondInterfaceClass};
}

std::optional<std::string> ChosenSimulator(const std::optional<std::string>& option) {
  if (option) return option;
  const char* variable = std::getenv("KESTRUNE_SIMULATE");
  // "0" reads as "off", as a script that switches the simulator off would write it.
  if (variable == nullptr || *variable == '\0' || std::string(variable) == "0") {
    return std::nullopt;
  }
  return std::string(variable) == "1" ? std::string() : std::string(variable);
}

BackendChoice MakeDeviceBackend(const std::optional<std::string>& simulator,
                                UsbOpenProblemSink problems, DeviceNotifications notifications) {
  Clock& clock = SystemClock();
  if (!simulator) {
    return {
        std::make_unique<DeviceBackend>(clock, MakePlatformUsb(std::move(problems), notifications)),
        {}};
  }
  SimBenchResult made = MakeSimBench(clock, *simulator, DefaultSimulatorFolder());
  if (!made.bench) return {nullptr, made.error};
  // Devices that reset come back on their own; listeners hear of it without being asked.
  made.bench->StartEventThread();
  // A second program finds a device the first has open in use, as on real hardware.
  made.bench->HoldDevicesAgainstOtherProcesses(std::move(problems));
  return {std::make_unique<DeviceBackend>(clock, std::move(made.bench)), {}};
}

UsbOpenProblemSink OnceEach(UsbOpenProblemSink sink) {
  struct Told {
    std::mutex mutex;
    std::set<std::string> messages;
  };
  return [sink = std::move(sink), told = std::make_shared<Told>()](const UsbOpenProblem& problem) {
    {
      std::lock_guard<std::mutex> lock(told->mutex);
      if (!told->messages.insert(DescribeProblem(problem)).second) return;
    }
    sink(problem);
  };
}

}  // namespace kestrune
