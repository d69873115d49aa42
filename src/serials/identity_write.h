#pragma once
// Writing one identity record into the device's OTP area: open the device, select its OTP
// alternate setting, write the block, read it back and compare. Shows nothing; the outcome says
// how far it came, and the caller tells the operator.

#include <cstdint>
#include <string>

#include "device/device_identity.h"
#include "dfu/dfu_session.h"

namespace kestrune {

enum class IdentityWriteOutcome {
  NotOpened,          // the device could not be opened
  NotSelected,        // its OTP alternate setting could not be selected
  NotWritten,         // the write failed or was stopped: a stop means nothing was sent
  NotReadBack,        // the read-back failed or was stopped
  ReadBackDifferent,  // read back, but not what was written (a locked block, say)
  Written,            // written and read back equal
};

// True once the write may have changed a block: a copy of the OTP area read before is out of date.
inline bool DeviceMayHaveChanged(IdentityWriteOutcome outcome) {
  return outcome != IdentityWriteOutcome::NotOpened && outcome != IdentityWriteOutcome::NotSelected;
}

// Writes `record` into block `block` of the device at `devicePath` over `session`, whose abort
// flag and progress counter the transfers use. The connection is closed before this returns.
IdentityWriteOutcome WriteIdentityBlock(DfuSession& session, const std::string& devicePath,
                                        std::uint32_t block, const OtpBlock& record);

}  // namespace kestrune
