#include "dfu/dfu_requests.h"

namespace kestrune {
namespace {

enum class ExitTest { ReachState, LeaveState };

// The one polling loop behind the three waits; they differ in the exit test and in whether a
// repeated poll clears the status first.
int PollStatus(DfuSession& session, DfuHandle handle, std::uint32_t timeoutMs, int state,
               ExitTest exitTest, bool clearStatus) {
  DfuStatus status;
  const std::uint32_t first = session.dfu.STDFU_Getstatus(&handle, &status);
  session.Note(first, &status);
  if (first != STDFU_NOERROR) {
    return -1;
  }
  const std::uint32_t start = session.clock.TickCount();
  for (int pass = 0;; ++pass) {
    const int s = status.bState;
    if (s != dfuERROR) {
      const bool match =
          state == kAnyDfuState || (exitTest == ExitTest::ReachState ? s == state : s != state);
      if (match) {
        return s;
      }
    }
    if (pass >= 4 || state == kAnyDfuState) {
      if (clearStatus) {
        session.dfu.STDFU_Clrstatus(&handle);
      }
      // A failed poll is no error by itself: the loop goes on with the last record received.
      DfuStatus next;
      const std::uint32_t result = session.dfu.STDFU_Getstatus(&handle, &next);
      if (!session.Note(result, &next) || session.AbortRequested()) {
        return -1;
      }
      if (result == STDFU_NOERROR) {
        status = next;
      }
      if (pass > 4) {
        session.clock.Sleep(1);
      }
      if (pass > 10 && session.clock.TickCount() - start > timeoutMs) {
        return -1;
      }
    } else if (pass == 3) {
      session.clock.Sleep(1);
    }
  }
}

}  // namespace

int WaitForDfuState(DfuSession& session, DfuHandle handle, std::uint32_t timeoutMs, int wanted) {
  return PollStatus(session, handle, timeoutMs, wanted, ExitTest::ReachState, true);
}

int WaitForDfuStateNoClear(DfuSession& session, DfuHandle handle, std::uint32_t timeoutMs,
                           int wanted) {
  return PollStatus(session, handle, timeoutMs, wanted, ExitTest::ReachState, false);
}

int WaitWhileDfuState(DfuSession& session, DfuHandle handle, std::uint32_t timeoutMs, int state) {
  return PollStatus(session, handle, timeoutMs, state, ExitTest::LeaveState, false);
}

DownloadOutcome AwaitDownload(DfuSession& session, DfuHandle handle, std::uint32_t timeoutMs) {
  const std::uint32_t start = session.clock.TickCount();
  for (;;) {
    DfuStatus status;
    const std::uint32_t result = session.dfu.STDFU_Getstatus(&handle, &status);
    if (!session.Note(result, &status)) {
      return DownloadOutcome::Gone;
    }
    if (result == STDFU_NOERROR) {
      switch (status.bState) {
        case dfuDNLOAD_IDLE:
          return DownloadOutcome::Done;
        case dfuERROR:
          session.dfu.STDFU_Clrstatus(&handle);
          return DownloadOutcome::Failed;
        case dfuDNLOAD_SYNC:
        case dfuDNBUSY:
          break;
        default:
          return DownloadOutcome::Failed;
      }
    }
    if (session.clock.TickCount() - start > timeoutMs || session.AbortRequested()) {
      return DownloadOutcome::NoAnswer;
    }
    session.clock.Sleep(1);
  }
}

bool EnterDfuIdle(DfuSession& session, DfuHandle handle) {
  StdfuLibrary& dfu = session.dfu;
  const auto giveUp = [&] {
    dfu.STDFU_Abort(&handle);
    return false;
  };
  std::uint8_t state = 0;
  if (dfu.STDFU_Getstate(&handle, &state) != STDFU_NOERROR || state == dfuERROR) {
    if (dfu.STDFU_Clrstatus(&handle) != STDFU_NOERROR ||
        dfu.STDFU_Getstate(&handle, &state) != STDFU_NOERROR) {
      return giveUp();
    }
  }
  if (dfu.STDFU_Getstate(&handle, &state) != STDFU_NOERROR) {
    return giveUp();
  }
  if (state != dfuIDLE) {
    if (dfu.STDFU_Abort(&handle) != STDFU_NOERROR) {
      dfu.STDFU_Clrstatus(&handle);
    }
    if (dfu.STDFU_Getstate(&handle, &state) != STDFU_NOERROR) {
      return giveUp();
    }
  }
  if (state == dfuERROR) {
    dfu.STDFU_Clrstatus(&handle);
    std::uint8_t after = 0;
    if (dfu.STDFU_Getstate(&handle, &after) == STDFU_NOERROR) {
      state = after;
    }
  }
  if (state == dfuIDLE) {
    return true;
  }
  return giveUp();
}

}  // namespace kestrune
