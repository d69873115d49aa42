#include "dfu/memory_commands.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "dfu/dfu_requests.h"
#include "dfu/dfu_timings.h"

namespace kestrune {
namespace {

using namespace dfu_timing;

constexpr std::uint8_t kSetAddressCommand = 0x21;
constexpr std::uint8_t kEraseCommand = 0x41;
constexpr std::uint8_t kReadUnprotectCommand = 0x92;
constexpr std::uint16_t kCommandBlock = 0;
constexpr std::uint16_t kFirstDataBlock = 2;
// Data blocks are numbered from 2 in a 16-bit field; a longer range would wrap onto the start.
constexpr std::uint32_t kMaxDataBlocks = 0xFFFFu - kFirstDataBlock + 1;

std::array<std::uint8_t, 5> Command(std::uint8_t code, std::uint32_t address) {
  return {code, static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(address >> 8),
          static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address >> 24)};
}

bool SendCommand(DfuSession& session, DfuHandle handle, std::uint8_t code, std::uint32_t address) {
  const auto command = Command(code, address);
  return session.dfu.STDFU_Dnload(&handle, command.data(), command.size(), kCommandBlock) ==
         STDFU_NOERROR;
}

void AbortAndPause(DfuSession& session, DfuHandle handle) {
  session.dfu.STDFU_Abort(&handle);
  session.clock.Sleep(kRetryPauseMs);
}

// A ready check before a download or upload: any state but dfuERROR.
bool Ready(DfuSession& session, DfuHandle handle) {
  const int state = WaitForDfuState(session, handle, kReadyCheckMs, kAnyDfuState);
  return state != -1 && state != dfuERROR;
}

bool RangeFitsBlockNumbers(std::uint32_t length) {
  return length / kDataBlockSize + (length % kDataBlockSize != 0 ? 1 : 0) <= kMaxDataBlocks;
}

// True once the device reported the set-address command carried out; it is then back in dfuIDLE
// (an abort keeps the pointer), where uploads may start. A command that ended in dfuERROR left
// the pointer where it was: data sent now would land at the old address.
bool AddressConfirmed(DfuSession& session, DfuHandle handle) {
  if (AwaitDownload(session, handle, kStateWaitMs) != DownloadOutcome::Done) {
    return false;
  }
  session.dfu.STDFU_Abort(&handle);
  return true;
}

// Brings the device to dfuIDLE and sets its address pointer; the first phase of every transfer.
bool SetAddressPointer(DfuSession& session, DfuHandle handle, std::uint32_t address) {
  if (!EnterDfuIdle(session, handle)) {
    return false;
  }
  for (int attempt = 0; attempt < kRequestTries &&
                        (attempt == 0 || (!session.AbortRequested() && !session.deviceGone));
       ++attempt) {
    if (Ready(session, handle) && SendCommand(session, handle, kSetAddressCommand, address) &&
        AddressConfirmed(session, handle)) {
      return true;
    }
  }
  return false;
}

void AddProgress(DfuSession& session, std::uint32_t units) {
  if (session.progressPos != nullptr) {
    session.progressPos->fetch_add(static_cast<int>(units));
  }
  if (session.postProgress) {
    session.postProgress();
  }
}

// Selects the option-byte alternate, reaches dfuIDLE and sets the pointer to the option block;
// `afterAddress` is the wait that must confirm the set-address command. False: this try failed
// (with abort and pause done as the failed step requires).
template <typename Confirm>
bool PrepareOptionBlock(DfuSession& session, DfuHandle handle, std::uint32_t readyTimeoutMs,
                        Confirm afterAddress) {
  if (session.dfu.STDFU_SelectCurrentConfiguration(&handle, 0, 0, kOptionBytesAlternate) !=
      STDFU_NOERROR) {
    AbortAndPause(session, handle);
    return false;
  }
  if (!EnterDfuIdle(session, handle)) {
    session.clock.Sleep(kRetryPauseMs);
    return false;
  }
  if (WaitForDfuState(session, handle, readyTimeoutMs, kAnyDfuState) != dfuIDLE) {
    AbortAndPause(session, handle);
    return false;
  }
  if (!SendCommand(session, handle, kSetAddressCommand, kOptionBytesAddress)) {
    return false;  // the next try follows at once
  }
  if (!afterAddress()) {
    AbortAndPause(session, handle);
    return false;
  }
  return true;
}

// How a transfer ended once it stopped: a stop request set by then wins over the rest.
TransferResult Ended(const DfuSession& session, bool completed) {
  if (session.AbortRequested()) return TransferResult::Aborted;
  return completed ? TransferResult::Done : TransferResult::Failed;
}

// The upload loop of ReadMemory and VerifyMemory; `take(offset, block, useful)` consumes the
// useful part of each block and answers false to stop the transfer as failed.
template <typename Take>
TransferResult Upload(DfuSession& session, DfuHandle handle, std::uint32_t address,
                      std::uint32_t length, bool hasBuffer, std::uint32_t* progress, Take take) {
  session.ForgetLastFailure();
  if (progress != nullptr) {
    *progress = 0;
  }
  if ((length != 0 && !hasBuffer) || !RangeFitsBlockNumbers(length) ||
      !SetAddressPointer(session, handle, address)) {
    return Ended(session, false);
  }
  std::array<std::uint8_t, kDataBlockSize> local;
  std::uint32_t offset = 0;
  // An answered upload leaves the device in dfuUPLOAD-IDLE (or dfuIDLE after a short one), never
  // busy and never in dfuERROR, so the next block needs neither a status poll nor a ready check.
  // The first block and every retry keep the check: there the state is not proven.
  bool previousAnswered = false;
  for (std::uint16_t block = kFirstDataBlock; offset < length; ++block) {
    if (session.AbortRequested()) {
      return TransferResult::Aborted;
    }
    if (progress != nullptr) {
      *progress = offset;
    }
    bool received = false;
    std::uint32_t frame = 0;
    for (int attempt = 0; attempt < kRequestTries && !received; ++attempt) {
      received = ((attempt == 0 && previousAnswered) || Ready(session, handle)) &&
                 session.dfu.STDFU_Upload(&handle, local.data(), local.size(), block, &frame) ==
                     STDFU_NOERROR;
      if (session.deviceGone) break;
    }
    if (!received) {
      return Ended(session, false);
    }
    previousAnswered = true;
    // A short frame is the device's last: what it carried is data all the same.
    const std::uint32_t useful = std::min({length - offset, kDataBlockSize, frame});
    AddProgress(session, useful);
    if (!take(offset, local.data(), useful)) {
      return Ended(session, false);
    }
    offset += useful;
    if (offset < length && frame < kDataBlockSize) {
      if (progress != nullptr) {
        *progress = offset;
      }
      return session.AbortRequested() ? TransferResult::Aborted : TransferResult::Short;
    }
  }
  return Ended(session, true);
}

}  // namespace

bool ReadOptionBytes(DfuSession& session, DfuHandle handle, std::uint8_t* byte0,
                     std::uint8_t* byte1, std::uint8_t* byte8, std::uint8_t* byte9) {
  session.ForgetLastFailure();
  for (int attempt = 0; attempt < kRequestTries; ++attempt) {
    const bool prepared = PrepareOptionBlock(session, handle, kStateWaitMs,
                                             [&] { return AddressConfirmed(session, handle); });
    if (!prepared) {
      continue;
    }
    std::array<std::uint8_t, kOptionBlockSize> block{};
    if (session.dfu.STDFU_Upload(&handle, block.data(), block.size(), kFirstDataBlock, nullptr) !=
        STDFU_NOERROR) {
      AbortAndPause(session, handle);
      continue;
    }
    if (byte0 != nullptr) *byte0 = block[0];
    if (byte1 != nullptr) *byte1 = block[1];
    if (byte8 != nullptr) *byte8 = block[8];
    if (byte9 != nullptr) *byte9 = block[9];
    return true;
  }
  return false;
}

bool WriteOptionBytes(DfuSession& session, DfuHandle handle, std::uint8_t byte0, std::uint8_t byte1,
                      std::uint8_t byte8, std::uint8_t byte9) {
  session.ForgetLastFailure();
  std::array<std::uint8_t, kOptionBlockSize> block;
  block.fill(0xFF);
  block[0] = byte0;
  block[1] = byte1;
  block[8] = byte8;
  block[9] = byte9;
  for (int attempt = 0; attempt < kRequestTries; ++attempt) {
    const bool prepared = PrepareOptionBlock(session, handle, kReadyCheckMs, [&] {
      return WaitForDfuStateNoClear(session, handle, kStateWaitMs, dfuDNLOAD_IDLE) ==
             dfuDNLOAD_IDLE;
    });
    if (!prepared) {
      continue;
    }
    if (session.dfu.STDFU_Dnload(&handle, block.data(), block.size(), kFirstDataBlock) !=
        STDFU_NOERROR) {
      AbortAndPause(session, handle);
      continue;
    }
    // The device resets after the write; whether it still answers does not matter.
    WaitWhileDfuState(session, handle, kStateWaitMs, dfuDNBUSY);
    return true;
  }
  return false;
}

bool EraseSector(DfuSession& session, DfuHandle handle, std::uint32_t address) {
  session.ForgetLastFailure();
  if (!EnterDfuIdle(session, handle)) {
    return false;
  }
  for (int attempt = 0; attempt < kRequestTries; ++attempt) {
    if (!Ready(session, handle)) {
      return false;
    }
    // Only a reported error or a lost device fails the erase; a device still busy at the
    // time-out is left to it, and the read-back of the programmed flash has the last word.
    if (SendCommand(session, handle, kEraseCommand, address)) {
      const DownloadOutcome outcome = AwaitDownload(session, handle, kLongestEraseMs);
      if (outcome == DownloadOutcome::Gone) return false;
      if (outcome != DownloadOutcome::Failed) return true;
    }
    if (session.deviceGone) return false;
    session.clock.Sleep(kRetryPauseMs);
  }
  return false;
}

TransferResult WriteMemory(DfuSession& session, DfuHandle handle, std::uint32_t address,
                           std::uint32_t length, const std::uint8_t* data,
                           std::uint32_t* progress) {
  session.ForgetLastFailure();
  if (progress != nullptr) {
    *progress = 0;
  }
  if ((length != 0 && data == nullptr) || !RangeFitsBlockNumbers(length) ||
      !SetAddressPointer(session, handle, address)) {
    return Ended(session, false);
  }
  std::uint32_t offset = 0;
  // A block whose status poll ended in dfuDNLOAD-IDLE proves the device ready for the next one;
  // the first block, a retry and a block after any other answer keep the ready check.
  bool previousDone = false;
  for (std::uint16_t block = kFirstDataBlock; offset < length; ++block) {
    if (session.AbortRequested()) {
      return TransferResult::Aborted;
    }
    if (progress != nullptr) {
      *progress = offset;
    }
    const std::uint32_t piece = std::min(length - offset, kDataBlockSize);
    bool sent = false;
    for (int attempt = 0; attempt < kRequestTries && !sent; ++attempt) {
      sent = ((attempt == 0 && previousDone) || Ready(session, handle)) &&
             session.dfu.STDFU_Dnload(&handle, data + offset, piece, block) == STDFU_NOERROR;
    }
    if (!sent) {
      return Ended(session, false);
    }
    previousDone = WaitWhileDfuState(session, handle, kStateWaitMs, dfuDNBUSY) == dfuDNLOAD_IDLE;
    AddProgress(session, piece);
    offset += piece;
  }
  return Ended(session, true);
}

TransferResult ReadMemory(DfuSession& session, DfuHandle handle, std::uint32_t address,
                          std::uint32_t length, std::uint8_t* buffer, std::uint32_t* progress) {
  return Upload(session, handle, address, length, buffer != nullptr, progress,
                [buffer](std::uint32_t offset, const std::uint8_t* block, std::uint32_t useful) {
                  std::memcpy(buffer + offset, block, useful);
                  return true;
                });
}

TransferResult VerifyMemory(DfuSession& session, DfuHandle handle, std::uint32_t address,
                            std::uint32_t length, const std::uint8_t* expected,
                            std::uint32_t* progress) {
  const TransferResult result =
      Upload(session, handle, address, length, expected != nullptr, progress,
             [expected](std::uint32_t offset, const std::uint8_t* block, std::uint32_t useful) {
               return std::memcmp(block, expected + offset, useful) == 0;
             });
  return result == TransferResult::Short ? TransferResult::Failed : result;
}

bool ReadUnprotect(DfuSession& session, DfuHandle handle) {
  session.ForgetLastFailure();
  if (session.dfu.STDFU_SelectCurrentConfiguration(&handle, 0, 0, 0) != STDFU_NOERROR ||
      !EnterDfuIdle(session, handle)) {
    return false;
  }
  const std::uint8_t command = kReadUnprotectCommand;
  if (session.dfu.STDFU_Dnload(&handle, &command, 1, kCommandBlock) != STDFU_NOERROR) {
    return false;
  }
  // The chip erases its flash and resets: a status may come, time out, or find it gone.
  DfuStatus status;
  const std::uint32_t result = session.dfu.STDFU_Getstatus(&handle, &status);
  return result != STDFU_NOERROR || status.bState != dfuERROR;
}

bool LeaveDfuMode(DfuSession& session, DfuHandle handle, std::uint32_t address) {
  session.ForgetLastFailure();
  if (!EnterDfuIdle(session, handle) || !Ready(session, handle) ||
      !SendCommand(session, handle, kSetAddressCommand, address) ||
      AwaitDownload(session, handle, kStateWaitMs) != DownloadOutcome::Done) {
    return false;
  }
  if (session.dfu.STDFU_Dnload(&handle, nullptr, 0, kFirstDataBlock) != STDFU_NOERROR) {
    return false;
  }
  // The status request starts the application; the device may be gone before it answers.
  DfuStatus status;
  const std::uint32_t result = session.dfu.STDFU_Getstatus(&handle, &status);
  return result != STDFU_NOERROR || status.bState == dfuMANIFEST;
}

}  // namespace kestrune
