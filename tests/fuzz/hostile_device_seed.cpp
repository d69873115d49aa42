// Writes seeds for the hostile-device target: the answers of simulated devices to a discovery and
// a programming run, recorded. Usage: hostile_device_seed <folder>

#include <cstdio>
#include <fstream>
#include <string>

#include "fuzz_support.h"
#include "hostile_device.h"
#include "hostile_firmware.h"
#include "sim/sim_bench.h"

using namespace kestrune;

namespace {

void Record(const std::string& file, const SimDeviceConfig& device) {
  VirtualClock clock;
  SimBench bench(clock);
  bench.AddDevice(device);
  fuzz::AnswerRecorder recorder(bench, bench);
  fuzz::OperateDevice(recorder, recorder, clock, fuzz::WriteHostileFirmware(),
                      fuzz::ScratchFolder() + "/Infos");
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(recorder.answers.data()),
             static_cast<std::streamsize>(recorder.answers.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: hostile_device_seed <folder>\n");
    return 2;
  }
  const std::string folder = argv[1];
  // Factory option bytes: the run rewrites them and waits for the device to come back.
  Record(folder + "/factory-device", DefaultSimDevice(""));

  SimDeviceConfig inPlace = DefaultSimDevice("");
  inPlace.optionBytes = WithOptionComplements({0xE3, 0xAA, 0, 0, 0, 0, 0, 0, 0xFF, 0x3F});
  Record(folder + "/options-in-place", inPlace);

  SimDeviceConfig failing = inPlace;
  failing.faults.push_back(
      {.action = SimFaultAction::DfuError, .request = SimRequest::Dnload, .nth = 4});
  Record(folder + "/write-error", failing);
  return 0;
}
