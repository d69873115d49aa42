#pragma once
// What the operator must be told once, from any thread (the window's discovery, a run's worker):
// each text in a warning box owned by the main window, shown on the window's thread. Texts told
// before the window exists wait for it.

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "usb/usb_device.h"

namespace kestrune::win32 {

inline constexpr UINT kShowProblemsMessage = WM_APP + 2;

// The operator's words for a device that cannot be used, with what to do about it.
std::string OperatorText(const UsbOpenProblem& problem);

class ProblemBoxes {
 public:
  // Queues `text` unless it was told before.
  void Tell(const std::string& text);
  // A sink that tells each problem in the operator's words.
  UsbOpenProblemSink Sink();
  // The owner of the boxes; what waits is shown soon after.
  void Attach(HWND owner);
  // On the owner's thread, at kShowProblemsMessage: the boxes of everything queued.
  void ShowPending();

 private:
  std::mutex m_mutex;
  HWND m_owner = nullptr;
  std::vector<std::string> m_told;
  std::vector<std::string> m_pending;
};

}  // namespace kestrune::win32
