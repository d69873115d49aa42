#include "serials/identity_write.h"

#include <algorithm>
#include <array>

#include "dfu/dfu_connection.h"
#include "dfu/memory_commands.h"

namespace kestrune {
namespace {

// Pause between the steps of the OTP transfer: the boot loader gets time to settle between
// programming OTP and the requests that follow.
constexpr std::uint32_t kStepPauseMs = 30;

}  // namespace

IdentityWriteOutcome WriteIdentityBlock(DfuSession& session, const std::string& devicePath,
                                        std::uint32_t block, const OtpBlock& record) {
  DfuConnection device(session.dfu, devicePath);
  if (!device.IsOpen()) return IdentityWriteOutcome::NotOpened;
  if (!device.SelectAlternate(kOtpAlternate)) return IdentityWriteOutcome::NotSelected;
  const DfuHandle handle = device.Handle();
  const std::uint32_t address = kOtpAddress + kOtpBlockSize * block;

  session.clock.Sleep(kStepPauseMs);
  if (WriteMemory(session, handle, address, kOtpBlockSize, record.data()) != TransferResult::Done) {
    return IdentityWriteOutcome::NotWritten;
  }
  session.clock.Sleep(kStepPauseMs);
  // Read back from the start of the area, as discovery does: every upload asks for a whole
  // 2048-byte block, and one that starts at the block itself would run past the end of the OTP
  // alternate's memory, which a boot loader need not serve.
  std::array<std::uint8_t, kOtpBlockCount * kOtpBlockSize> readBack;
  readBack.fill(0x55);
  const std::uint32_t offset = kOtpBlockSize * block;
  if (ReadMemory(session, handle, kOtpAddress, offset + kOtpBlockSize, readBack.data()) !=
      TransferResult::Done) {
    return IdentityWriteOutcome::NotReadBack;
  }
  session.clock.Sleep(kStepPauseMs);
  device.Close();
  session.clock.Sleep(kStepPauseMs);
  return std::equal(record.begin(), record.end(), readBack.begin() + offset)
             ? IdentityWriteOutcome::Written
             : IdentityWriteOutcome::ReadBackDifferent;
}

}  // namespace kestrune
