#include "cli/device_backend.h"

#include <string>

#include "cli/data_folders.h"
#include "sim/sim_bench.h"
#include "sim/sim_file.h"
#include "usb/usb_stdfu.h"

namespace kestrune::cli {

DeviceBackend::DeviceBackend(Clock& clock, std::unique_ptr<SimBench> bench)
    : m_clock(clock),
      m_bench(std::move(bench)),
      m_dfu(std::make_unique<UsbStdfuLibrary>(*m_bench, clock)) {}

DeviceBackend::~DeviceBackend() = default;

DeviceBus& DeviceBackend::Bus() {
  return *m_bench;
}

std::unique_ptr<DeviceBackend> MakeDeviceBackend(const GlobalOptions& options, std::FILE* err) {
  if (!options.simulatorFile) {
    std::fputs(
        "kestrune: no USB transport is built into this program yet; use --simulate for the "
        "simulated device\n",
        err);
    return nullptr;
  }
  Clock& clock = SystemClock();
  SimBenchResult made = MakeSimBench(clock, *options.simulatorFile, DefaultSimulatorFolder());
  if (!made.bench) {
    std::fprintf(err, "kestrune: %s\n", made.error.c_str());
    return nullptr;
  }
  // Devices that reset come back on their own; listeners hear of it without being asked.
  made.bench->StartEventThread();
  return std::make_unique<DeviceBackend>(clock, std::move(made.bench));
}

}  // namespace kestrune::cli
