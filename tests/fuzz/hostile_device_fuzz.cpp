// The host against a device whose every answer comes from the fuzzer: a discovery and, when the
// device passes it, a programming run.

#include "fuzz_support.h"
#include "hostile_device.h"
#include "hostile_firmware.h"

using namespace kestrune;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string firmware = fuzz::WriteHostileFirmware();
  static const std::string infos = fuzz::ScratchFolder() + "/Infos";
  VirtualClock clock;
  fuzz::HostileBench bench({data, size});
  const fuzz::ProgrammingOutcome outcome =
      fuzz::DiscoverAndProgram(bench, bench, clock, firmware, infos);
  if (outcome.succeeded) {
    const std::string bytes = fuzz::HostileFirmwareBytes();
    for (std::uint32_t i = 0; i < bytes.size(); ++i) {
      fuzz::Require(bench.LastUploadedAt(outcome.flashStart + i) == std::uint8_t(bytes[i]),
                    "a run succeeds only when the device read the whole file back");
    }
  }
  return 0;
}
