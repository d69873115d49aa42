#include "win32/problem_boxes.h"

#include <algorithm>

namespace kestrune::win32 {
namespace {

constexpr char kWhatToDo[] =
    "\n\nBitte schließen Sie das andere Programm und stecken Sie das "
    "Gerät ab und wieder an.";
constexpr char kBindWinUsb[] =
    "\n\nBitte richten Sie WinUSB für das Gerät ein (mit kestrune-winusb.inf oder einem "
    "allgemeinen WinUSB-Installationsprogramm, siehe docs\\windows.md) und stecken Sie das Gerät "
    "ab und wieder an.";

}  // namespace

std::string OperatorText(const UsbOpenProblem& problem) {
  const std::string device = "\n\n" + problem.device + "\n\n";
  switch (problem.kind) {
    case UsbOpenProblem::Kind::NoPermission:
    case UsbOpenProblem::Kind::AccessDenied:
      return "Der Zugriff auf das USB-Gerät" + device +
             "wurde verweigert. Vermutlich hat ein anderes Programm (ein DFU-Werkzeug, ein "
             "zweites Kestrune) das Gerät geöffnet." +
             kWhatToDo;
    case UsbOpenProblem::Kind::InUse:
      return "Das USB-Gerät" + device + "wird von einem anderen Programm benutzt." + kWhatToDo;
    case UsbOpenProblem::Kind::NotWinUsb:
      break;
  }
  if (problem.driver.empty()) {
    return "Für das USB-Gerät" + device + "ist kein WinUSB-Treiber eingerichtet." + kBindWinUsb;
  }
  return "Das USB-Gerät" + device + "ist an den Treiber \"" + problem.driver +
         "\" gebunden, nicht an WinUSB." + kBindWinUsb;
}

void ProblemBoxes::Tell(const std::string& text) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (std::find(m_told.begin(), m_told.end(), text) != m_told.end()) return;
  m_told.push_back(text);
  m_pending.push_back(text);
  if (m_owner != nullptr) PostMessageA(m_owner, kShowProblemsMessage, 0, 0);
}

UsbOpenProblemSink ProblemBoxes::Sink() {
  return [this](const UsbOpenProblem& problem) { Tell(OperatorText(problem)); };
}

void ProblemBoxes::Attach(HWND owner) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_owner = owner;
  if (!m_pending.empty()) PostMessageA(m_owner, kShowProblemsMessage, 0, 0);
}

void ProblemBoxes::ShowPending() {
  std::vector<std::string> texts;
  HWND owner = nullptr;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    texts.swap(m_pending);
    owner = m_owner;
  }
  for (const std::string& text : texts) {
    MessageBoxA(owner, text.c_str(), "Warnung", MB_OK | MB_ICONWARNING);
  }
}

}  // namespace kestrune::win32
