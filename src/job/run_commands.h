#pragma once
// Command ids through which the worker of a programming run talks to the window (posted as
// WM_COMMAND, id in the low word, lParam 0), the window's polling timer id, and the run's outcome.

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

}  // namespace kestrune
