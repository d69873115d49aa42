#include "win32/win32_window.h"

#include <commctrl.h>
#include <commdlg.h>

#include <vector>

namespace kestrune::win32 {
namespace {

// Room for the chosen path; longer paths are refused by the file dialog.
constexpr std::size_t kPathRoom = 2048;

UINT MessageBoxStyle(MessageButtons buttons, MessageIcon icon) {
  UINT style = MB_OK;
  // The questions that may lead to an OTP write default to their harmless answer.
  if (buttons == MessageButtons::OkCancel) style = MB_OKCANCEL | MB_DEFBUTTON2;
  if (buttons == MessageButtons::YesNo) style = MB_YESNO | MB_DEFBUTTON2;
  switch (icon) {
    case MessageIcon::Stop:
      return style | MB_ICONHAND;
    case MessageIcon::Warning:
      return style | MB_ICONWARNING;
    case MessageIcon::Information:
      return style | MB_ICONINFORMATION;
    case MessageIcon::Question:
      return style | MB_ICONQUESTION;
    case MessageIcon::None:
      break;
  }
  return style;
}

// "Name|pattern|...|" with the bars as the NULs the file dialog expects.
std::vector<char> FilterOf(const std::string& filter) {
  std::vector<char> out(filter.begin(), filter.end());
  for (char& c : out) {
    if (c == '|') c = '\0';
  }
  out.push_back('\0');
  out.push_back('\0');
  return out;
}

}  // namespace

std::string WindowText(HWND window) {
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(window)) + 1, '\0');
  const int length = GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<std::size_t>(length > 0 ? length : 0));
  return text;
}

void Win32Window::SetControlText(int id, std::string_view text) {
  SetDlgItemTextA(m_hwnd, id, std::string(text).c_str());
}

std::string Win32Window::ControlText(int id) {
  HWND control = GetDlgItem(m_hwnd, id);
  return control != nullptr ? WindowText(control) : std::string();
}

void Win32Window::EnableControl(int id, bool enabled) {
  if (HWND control = GetDlgItem(m_hwnd, id)) EnableWindow(control, enabled);
}

void Win32Window::ShowControl(int id, bool shown) {
  if (HWND control = GetDlgItem(m_hwnd, id)) ShowWindow(control, shown ? SW_SHOW : SW_HIDE);
}

void Win32Window::RepaintControl(int id) {
  if (HWND control = GetDlgItem(m_hwnd, id)) {
    RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  }
}

std::vector<std::string> Win32Window::ComboItems(int id) {
  std::vector<std::string> items;
  HWND combo = GetDlgItem(m_hwnd, id);
  const LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = SendMessageA(combo, CB_GETLBTEXTLEN, i, 0);
    if (length < 0) continue;
    std::string item(static_cast<std::size_t>(length) + 1, '\0');
    const LRESULT copied =
        SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()));
    item.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
    items.push_back(std::move(item));
  }
  return items;
}

int Win32Window::ComboSelection(int id) {
  const LRESULT selected = SendDlgItemMessageA(m_hwnd, id, CB_GETCURSEL, 0, 0);
  return selected == CB_ERR ? -1 : static_cast<int>(selected);
}

void Win32Window::ClearComboItems(int id) {
  // Emptying the list leaves the edit field's text alone.
  const std::string text = ControlText(id);
  SendDlgItemMessageA(m_hwnd, id, CB_RESETCONTENT, 0, 0);
  SetControlText(id, text);
}

void Win32Window::AddComboItem(int id, std::string_view text) {
  SendDlgItemMessageA(m_hwnd, id, CB_ADDSTRING, 0,
                      reinterpret_cast<LPARAM>(std::string(text).c_str()));
}

void Win32Window::SetProgressRange(int id, std::uint16_t upper) {
  SendDlgItemMessageA(m_hwnd, id, PBM_SETRANGE, 0, MAKELPARAM(0, upper));
}

void Win32Window::SetProgressPosition(int id, int position) {
  SendDlgItemMessageA(m_hwnd, id, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

MessageResult Win32Window::ShowMessageBox(std::string_view caption, std::string_view text,
                                          MessageButtons buttons, MessageIcon icon) {
  const int answer = MessageBoxA(m_hwnd, std::string(text).c_str(), std::string(caption).c_str(),
                                 MessageBoxStyle(buttons, icon));
  switch (answer) {
    case IDOK:
      return MessageResult::Ok;
    case IDYES:
      return MessageResult::Yes;
    case IDNO:
      return MessageResult::No;
    default:
      // Closed or not shown at all: the refusing answer.
      return buttons == MessageButtons::YesNo ? MessageResult::No : MessageResult::Cancel;
  }
}

std::optional<std::string> Win32Window::ChooseFile(const FileDialogRequest& request) {
  std::vector<char> path(kPathRoom, '\0');
  request.initialFileName.copy(path.data(), path.size() - 1);
  const std::vector<char> filter = FilterOf(request.filter);
  // The dialog appends at most three characters of the extension, which must not start with a dot.
  std::string extension = request.defaultExtension;
  if (extension.rfind("*.", 0) == 0) extension.erase(0, 2);
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  // Owned by the main window, so that it takes no clicks while the file is chosen.
  dialog.hwndOwner = m_hwnd;
  dialog.lpstrFilter = filter.data();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = path.data();
  dialog.nMaxFile = static_cast<DWORD>(path.size());
  dialog.lpstrTitle = request.title.c_str();
  dialog.lpstrDefExt = extension.c_str();
  dialog.Flags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;
  if (!GetSaveFileNameA(&dialog)) return std::nullopt;
  return std::string(path.data());
}

void Win32Window::StartTimer(int id, std::uint32_t periodMs) {
  if (m_timers) SetTimer(m_hwnd, static_cast<UINT_PTR>(id), periodMs, nullptr);
}

void Win32Window::PostCommand(int id) {
  PostMessageA(m_hwnd, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

void Win32Window::PostDeviceChange(DeviceEvent event, const std::string& path) {
  HoldDeviceEvent(event, path);
  PostMessageA(m_hwnd, kDeviceEventMessage, 0, 0);
}

void Win32Window::HoldDeviceEvent(DeviceEvent event, const std::string& path) {
  std::lock_guard lock(m_eventsMutex);
  m_events.emplace_back(event, path);
}

std::optional<std::pair<DeviceEvent, std::string>> Win32Window::TakeDeviceEvent() {
  std::lock_guard lock(m_eventsMutex);
  if (m_events.empty()) return std::nullopt;
  auto event = std::move(m_events.front());
  m_events.pop_front();
  return event;
}

void Win32Window::EndDialog(int result) {
  ::EndDialog(m_hwnd, result);
}

}  // namespace kestrune::win32
