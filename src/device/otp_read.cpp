#include "device/otp_read.h"

#include <algorithm>
#include <array>

#include "dfu/dfu_timings.h"
#include "dfu/memory_commands.h"

namespace kestrune {
namespace {

constexpr std::uint32_t kUniqueIdAddress = kOtpAddress + kUniqueIdOffset;

}  // namespace

OtpRead ReadOtpArea(DfuSession& session, DfuHandle handle, OtpImage& image) {
  image.fill(0);
  if (session.dfu.STDFU_SelectCurrentConfiguration(&handle, 0, 0, kOtpAlternate) != STDFU_NOERROR) {
    return OtpRead::Failed;
  }
  std::uint32_t delivered = 0;
  const TransferResult whole =
      ReadMemory(session, handle, kOtpAddress, kOtpReadLength, image.data(), &delivered);
  if (whole == TransferResult::Done) return OtpRead::Complete;
  if (whole == TransferResult::Aborted) return OtpRead::Aborted;
  if (whole == TransferResult::Failed || delivered < kUniqueIdOffset) return OtpRead::Failed;
  // Read on its own, the ID has no neighbours whose sense would show a garbled answer: two reads
  // that agree are taken.
  std::array<std::uint8_t, kUniqueIdSize> first{};
  std::array<std::uint8_t, kUniqueIdSize> second{};
  for (int attempt = 0; attempt < dfu_timing::kUniqueIdTries; ++attempt) {
    const TransferResult a =
        ReadMemory(session, handle, kUniqueIdAddress, kUniqueIdSize, first.data());
    // A device that has no such address says so (errTARGET): it will not give the ID at all.
    if (a != TransferResult::Done && a != TransferResult::Aborted &&
        session.lastErrorStatus == errTARGET) {
      return OtpRead::WithoutUniqueId;
    }
    const TransferResult b =
        a == TransferResult::Done
            ? ReadMemory(session, handle, kUniqueIdAddress, kUniqueIdSize, second.data())
            : a;
    if (a == TransferResult::Aborted || b == TransferResult::Aborted) return OtpRead::Aborted;
    if (b == TransferResult::Done && first == second) {
      std::copy(first.begin(), first.end(), image.begin() + kUniqueIdOffset);
      return OtpRead::Complete;
    }
  }
  // Faults of the moment, not a refusal: the caller treats it as any failed read.
  return OtpRead::Failed;
}

}  // namespace kestrune
