#pragma once
// Reads the OTP area as discovery and the run need it: blocks, lock bytes and the unique ID
// behind them. The boot loader declares only the blocks and lock bytes on its OTP alternate;
// whether it serves the unique ID in the same upload is not documented, so when the upload
// ends short of it the ID is read on its own, and a device that gives it neither way is
// reported as such rather than failed.

#include "device/device_identity.h"
#include "dfu/dfu_session.h"

namespace kestrune {

enum class OtpRead {
  Complete,         // blocks, lock bytes and unique ID
  WithoutUniqueId,  // blocks and lock bytes; the device would not give the unique ID
  Failed,           // the area could not be read
  Aborted,          // the session's stop request was set
};

// Reads into `image` (zero-filled first) over an open connection; selects the OTP alternate.
OtpRead ReadOtpArea(DfuSession& session, DfuHandle handle, OtpImage& image);

}  // namespace kestrune
