#pragma once
// The window's side of a run: the command ids through which the dialog hands a run's events to
// its own thread (posted as WM_COMMAND, id in the low word, lParam 0), the polling timer id, the
// run's outcome as the status line paints it, and the values both threads touch.

#include <atomic>

#include "job/run_events.h"

namespace kestrune {

inline constexpr int ID_POLL_TIMER = 22592;
// The last command of every run; the window leaves its busy state.
inline constexpr int ID_RUN_FINISHED = 22593;
// Posted while the worker waits for the device to register anew after its option bytes changed.
inline constexpr int ID_RUN_REENUMERATE = 22594;
// An error text was handed over; the worker waits until the window acknowledged it.
inline constexpr int ID_RUN_ERROR = 22595;
// A status text was handed over; the worker does not wait.
inline constexpr int ID_RUN_STATUS = 22596;
// m_progressPos changed.
inline constexpr int ID_RUN_PROGRESS = 22597;
// m_progressTotal was set.
inline constexpr int ID_RUN_PROGRESS_RANGE = 22598;
// A warning text was handed over; the worker waits until the window acknowledged it.
inline constexpr int ID_RUN_WARNING = 22599;

// m_runStatus values.
enum RunStatus : int {
  RunStatusNone = 0,
  RunStatusAborted = 1,
  RunStatusFailed = 2,
  RunStatusSucceeded = 3,
};

// The flags the run polls (m_abortRequested, m_deviceRemoved) and what the window makes of the
// run's events. The window owns them; they outlive the run. The window clears m_progressPos
// (SetBusy) and m_abortRequested before it starts a run.
struct RunShared : RunControl {
  // Work units done and in total: erasing counts half of the bytes it covers, programming and
  // verifying each byte. Written on the run's thread before ID_RUN_PROGRESS or
  // ID_RUN_PROGRESS_RANGE is posted.
  std::atomic<int> m_progressPos{0};
  std::atomic<int> m_progressTotal{0};
  // RunStatus of the current or last run; the window paints the status line by it.
  std::atomic<int> m_runStatus{0};
  // Set by a verified run whose line in the download log could not be written.
  std::atomic<int> m_logLineMissing{0};
};

}  // namespace kestrune
