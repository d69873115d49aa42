#pragma once
// What the request layer and the memory commands need from their caller: the DFU library, the
// clock for pauses and time-outs, the abort flag they poll, and the progress counter they advance
// (with the notice that tells the window about it). The dialog owns the flag and the counter.

#include <atomic>
#include <functional>

#include "dfu/stdfu.h"
#include "platform/clock.h"

namespace kestrune {

struct DfuSession {
  StdfuLibrary& dfu;
  Clock& clock;
  // The user's stop request (m_abortRequested); null: never stopped.
  const std::atomic<int>* abortRequested = nullptr;
  // Work units done (m_progressPos); each transferred data block adds its useful length.
  std::atomic<int>* progressPos = nullptr;
  // Tells the window that progressPos moved (posts ID_RUN_PROGRESS); may be empty.
  std::function<void()> postProgress;

  // Why the last step failed, for the reason a caller shows: the bStatus of the last dfuERROR
  // the device reported (OK: none), and whether it left the bus.
  std::uint8_t lastErrorStatus = OK;
  bool deviceGone = false;

  // Each memory command starts with a clean slate: a device gone before was opened anew since.
  void ForgetLastFailure() {
    lastErrorStatus = OK;
    deviceGone = false;
  }

  bool AbortRequested() const { return abortRequested != nullptr && abortRequested->load() != 0; }
  // Notes what a request's result and answer say about the device; true when it is still there.
  bool Note(std::uint32_t result, const DfuStatus* status = nullptr) {
    if (result == STDFU_ERROR_GONE) deviceGone = true;
    if (result == STDFU_NOERROR && status != nullptr && status->bState == dfuERROR) {
      lastErrorStatus = status->bStatus;
    }
    return !deviceGone;
  }
};

}  // namespace kestrune
