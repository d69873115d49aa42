// Prints the least time in which the first device of a simulator file can take an image at the
// start of its flash and give it back: erasing the sectors the image covers, programming it, and
// moving it over the bus once each way. The frame time of the requests is left out: a host can
// only approach this limit, never reach it. Times in milliseconds, one `name=value` a line.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sim/sim_file.h"
#include "sim/sim_memory.h"

using namespace kestrune;

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: sim-device-limit SIMULATOR-FILE IMAGE-SIZE\n", stderr);
    return 2;
  }
  const SimFileResult read = ReadSimulatorFile(argv[1], "");
  if (!read.error.empty()) {
    std::fprintf(stderr, "sim-device-limit: %s\n", read.error.c_str());
    return 1;
  }
  SimDeviceConfig config = read.devices.front();
  config.imageFolder.clear();  // looks at the sectors only, never at the device's images
  std::string error;
  const SimMemory memory(config, error);
  char* end = nullptr;
  const unsigned long size = std::strtoul(argv[2], &end, 10);
  if (*argv[2] == '\0' || *end != '\0' || size == 0 || size > memory.FlashSize()) {
    std::fprintf(stderr, "sim-device-limit: %s is not an image size for this flash\n", argv[2]);
    return 2;
  }
  const SimTiming& timing = config.timing;
  std::uint64_t eraseUs = 0;
  for (std::uint32_t at = kSimFlashStart; at < kSimFlashStart + size;) {
    const SimSector sector = *memory.SectorAt(at);
    eraseUs += std::uint64_t{SimEraseMs(timing, sector.size)} * 1000;
    at = sector.start + sector.size;
  }
  std::uint64_t programUs = 0;
  std::uint64_t dataUs = 0;
  for (std::uint32_t done = 0; done < size; done += kSimTransferSize) {
    const std::uint32_t block = std::min<std::uint32_t>(kSimTransferSize, size - done);
    programUs += SimProgramUs(timing, block);
    dataUs += 2 * (SimTransferUs(timing, block) - SimTransferUs(timing, 0));
  }
  std::printf("erase_ms=%.1f\nprogram_ms=%.1f\ndata_ms=%.1f\nlimit_ms=%.1f\n", eraseUs / 1000.0,
              programUs / 1000.0, dataUs / 1000.0, (eraseUs + programUs + dataUs) / 1000.0);
  return 0;
}
