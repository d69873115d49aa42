#pragma once
// The simulator description file (JSON, see docs/simulator.md): the devices of a simulated
// bench with their identity, memory contents, timing, faults and image folders. Bad files give
// an error text, never a crash.

#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim/sim_bench.h"
#include "sim/sim_config.h"

namespace kestrune {

struct SimFileResult {
  std::vector<SimDeviceConfig> devices;  // empty on error
  std::string error;
};

// `fileFolder` resolves relative image folders; devices without one keep their images in
// `defaultImageFolder`/<instance>.
SimFileResult ParseSimulatorFile(const std::string& text, const std::string& fileFolder,
                                 const std::string& defaultImageFolder);
SimFileResult ReadSimulatorFile(const std::string& path, const std::string& defaultImageFolder);

struct SimBenchResult {
  std::unique_ptr<SimBench> bench;  // null on error
  std::string error;
};

// The bench of a simulator file, or with an empty `file` the default device with its images in
// `defaultImageFolder`.
SimBenchResult MakeSimBench(Clock& clock, const std::string& file,
                            const std::string& defaultImageFolder);

}  // namespace kestrune
