// The host against a device whose every answer comes from the fuzzer: a discovery, a programming
// run when the device passes it, and an identity write when its OTP area was read.

#include "fuzz_support.h"
#include "hostile_device.h"
#include "hostile_firmware.h"

using namespace kestrune;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string firmware = fuzz::WriteHostileFirmware();
  static const std::string infos = fuzz::ScratchFolder() + "/Infos";
  VirtualClock clock;
  fuzz::HostileBench bench({data, size});
  const fuzz::HostOutcome outcome = fuzz::OperateDevice(bench, bench, clock, firmware, infos);
  if (outcome.programmed) {
    const std::string bytes = fuzz::HostileFirmwareBytes();
    for (std::uint32_t i = 0; i < bytes.size(); ++i) {
      fuzz::Require(bench.LastUploadedAt(outcome.flashStart + i) == std::uint8_t(bytes[i]),
                    "a run succeeds only when the device read the whole file back");
    }
  }

  // OTP cannot be erased: nothing may be written there but the chosen block, and a block counts
  // as written only when the device showed it back.
  const std::uint32_t chosen = kOtpAddress + outcome.identityBlock.value_or(0) * kOtpBlockSize;
  for (const auto& [address, length] : bench.Downloads()) {
    const std::uint64_t end = std::uint64_t{address} + length;
    const bool intoOtp =
        address < kOtpAddress + kOtpBlockCount * kOtpBlockSize && end > kOtpAddress;
    fuzz::Require(
        !intoOtp || (outcome.identityBlock && address >= chosen && end <= chosen + kOtpBlockSize),
        "nothing is written into OTP but the chosen block");
  }
  if (outcome.identityWritten) {
    for (std::uint32_t i = 0; i < kOtpBlockSize; ++i) {
      fuzz::Require(bench.LastUploadedAt(chosen + i) == outcome.identity[i],
                    "an identity counts as written only when the device showed it back");
    }
  }
  return 0;
}
