// The simulator's bench file: parsed, and the devices it describes put on a bench.

#include "fuzz_support.h"
#include "platform/clock.h"
#include "sim/sim_file.h"

using namespace kestrune;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& folder = fuzz::ScratchFolder();
  const SimFileResult read =
      ParseSimulatorFile(std::string(fuzz::AsText(data, size)), folder, folder);
  fuzz::Require(read.error.empty() != read.devices.empty(), "devices or an error, never both");

  VirtualClock clock;
  SimBench bench(clock);
  for (SimDeviceConfig device : read.devices) {
    device.imageFolder.clear();  // memory only: the fuzzer must not fill the disk
    const SimAddResult added = bench.AddDevice(device);
    if (!added.device) continue;
    fuzz::Require(bench.Open(bench.PathOf(*added.device)) != nullptr,
                  "a device on the bench opens by its path");
  }
  return 0;
}
