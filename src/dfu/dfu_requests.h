#pragma once
// State handling on top of the DFU library: three status-polling loops and the way back to
// dfuIDLE. The DfuSe memory commands are built from them.
//
// The loops poll on their own schedule (a tight loop with 1 ms pauses on the session's clock)
// and do not wait for the bwPollTimeout the device asks for. Time-outs are measured as the
// unsigned difference of two tick counts, so a wrap of the counter does no harm; the time-out is
// looked at only from the twelfth pass on, so it is a lower bound, not an exact limit. Every
// loop ends at once when the device left the bus or the session's stop request is set, and
// notes the bStatus of a dfuERROR answer in the session.

#include <cstdint>

#include "dfu/dfu_session.h"
#include "dfu/stdfu.h"

namespace kestrune {

// Wanted state meaning "any state except dfuERROR".
inline constexpr int kAnyDfuState = -1;

// Polls until the device reports `wanted` (or, with kAnyDfuState, any state but dfuERROR),
// clearing the status before every repeated poll. Returns the state reached (0..255), or -1 when
// the first status request fails or the time-out ran out. Never returns dfuERROR.
int WaitForDfuState(DfuSession& session, DfuHandle handle, std::uint32_t timeoutMs, int wanted);

// As WaitForDfuState, but never clears the status.
int WaitForDfuStateNoClear(DfuSession& session, DfuHandle handle, std::uint32_t timeoutMs,
                           int wanted);

// Polls while the device reports `state` (with kAnyDfuState: while it reports dfuERROR). Returns
// the first state that differs from it and is not dfuERROR, or -1 as above.
int WaitWhileDfuState(DfuSession& session, DfuHandle handle, std::uint32_t timeoutMs, int state);

// How a download (a DfuSe command or a data block) ended on the device.
enum class DownloadOutcome {
  Done,      // carried out: the device reports dfuDNLOAD-IDLE
  Failed,    // the device reports dfuERROR (its status is cleared), or a state no download leaves
  NoAnswer,  // still busy, or no status at all, when the time-out ran out or a stop was asked
  Gone,      // the device left the bus
};

// Polls the status after a download until the device has carried it out, without clearing
// anything on the way: a device that failed the work must not pass for one that did it.
DownloadOutcome AwaitDownload(DfuSession& session, DfuHandle handle, std::uint32_t timeoutMs);

// Brings the device to dfuIDLE with clear-status and abort requests. True when it ends there;
// every path that gives up sends an abort last.
bool EnterDfuIdle(DfuSession& session, DfuHandle handle);

}  // namespace kestrune
