#include "cli/device_backend.h"

#include <cstdlib>
#include <mutex>
#include <set>
#include <string>

#include "cli/data_folders.h"
#include "sim/sim_bench.h"
#include "sim/sim_file.h"
#include "usb/platform_usb.h"
#include "usb/usb_stdfu.h"

namespace kestrune::cli {

namespace {

// Discovery and the run may both fail to open the same device; the operator reads why once.
UsbOpenProblemSink PrintOnce(std::FILE* err) {
  struct Printed {
    std::mutex mutex;
    std::set<std::string> messages;
  };
  return [err, printed = std::make_shared<Printed>()](const std::string& message) {
    std::lock_guard<std::mutex> lock(printed->mutex);
    if (printed->messages.insert(message).second) {
      std::fprintf(err, "kestrune: %s\n", message.c_str());
    }
  };
}

}  // namespace

DeviceBackend::DeviceBackend(Clock& clock, std::unique_ptr<SimBench> bench,
                             std::unique_ptr<PlatformUsb> usb, UsbBackend& transport,
                             DeviceBus& bus)
    : m_clock(clock),
      m_bench(std::move(bench)),
      m_usb(std::move(usb)),
      m_bus(bus),
      m_dfu(std::make_unique<UsbStdfuLibrary>(transport, clock)) {}

DeviceBackend::DeviceBackend(Clock& clock, std::unique_ptr<SimBench> bench)
    : DeviceBackend(clock, nullptr, nullptr, *bench, *bench) {
  m_bench = std::move(bench);
}

DeviceBackend::DeviceBackend(Clock& clock, std::unique_ptr<PlatformUsb> usb)
    : DeviceBackend(clock, nullptr, nullptr, usb->Usb(), usb->Bus()) {
  m_usb = std::move(usb);
}

DeviceBackend::~DeviceBackend() = default;

std::optional<std::string> ChosenSimulator(const GlobalOptions& options) {
  if (options.simulatorFile) return options.simulatorFile;
  const char* variable = std::getenv("KESTRUNE_SIMULATE");
  if (variable == nullptr || *variable == '\0') return std::nullopt;
  return std::string(variable) == "1" ? std::string() : std::string(variable);
}

std::unique_ptr<DeviceBackend> MakeDeviceBackend(const GlobalOptions& options, std::FILE* err) {
  Clock& clock = SystemClock();
  const std::optional<std::string> simulator = ChosenSimulator(options);
  if (!simulator) return std::make_unique<DeviceBackend>(clock, MakePlatformUsb(PrintOnce(err)));
  SimBenchResult made = MakeSimBench(clock, *simulator, DefaultSimulatorFolder());
  if (!made.bench) {
    std::fprintf(err, "kestrune: %s\n", made.error.c_str());
    return nullptr;
  }
  // Devices that reset come back on their own; listeners hear of it without being asked.
  made.bench->StartEventThread();
  return std::make_unique<DeviceBackend>(clock, std::move(made.bench));
}

}  // namespace kestrune::cli
