#include "win32/programmer_window.h"

#include <dbt.h>

#include "app/control_ids.h"
#include "usb/setupdi_broadcast.h"
#include "win32/about_dialog.h"
#include "win32/button_bitmap.h"
#include "win32/device_notifications.h"
#include "win32/resource.h"
#include "win32/serial_number_window.h"

namespace kestrune::win32 {
namespace {

HICON LoadProgramIcon(int metricX, int metricY) {
  return static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME),
                                       IMAGE_ICON, GetSystemMetrics(metricX),
                                       GetSystemMetrics(metricY), LR_SHARED));
}

void AddAboutItem(HWND window) {
  HMENU menu = GetSystemMenu(window, FALSE);
  char text[128] = {};
  if (menu == nullptr ||
      LoadStringA(GetModuleHandleA(nullptr), IDS_ABOUTBOX, text, sizeof text) <= 0) {
    return;
  }
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, text);
}

}  // namespace

ProgrammerWindow::ProgrammerWindow(const ProgrammerWindowSetup& setup)
    : m_window(setup.timers),
      m_brushes(setup.brushes),
      m_dialog(m_window,
               {setup.stdfu, setup.bus, setup.clock, setup.infosFolder, setup.runJob,
                [this](SerialNumberDialog& dialog) { return RunSerialNumberDialog(dialog); },
                setup.pathHistory, m_browseBitmap, m_fileDrop}),
      m_notificationClasses(setup.notificationClasses),
      m_problems(setup.problems) {}

ProgrammerWindow::~ProgrammerWindow() = default;

INT_PTR ProgrammerWindow::Run() {
  return RunModal(IDD_KESTRUNE, nullptr);
}

void ProgrammerWindow::OnInitDialog() {
  m_window.Attach(Handle());
  AddAboutItem(Handle());
  m_icon = LoadProgramIcon(SM_CXICON, SM_CYICON);
  m_smallIcon = LoadProgramIcon(SM_CXSMICON, SM_CYSMICON);
  SendMessageA(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
  SendMessageA(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_smallIcon));
  RegisterNotifications();
  m_dialog.OnInitDialog();
  // Discovery may have learnt device classes; what it found wrong is shown once the window is up.
  RegisterNotifications();
  if (m_problems != nullptr) m_problems->Attach(Handle());
}

void ProgrammerWindow::RegisterNotifications() {
  m_notifications.Register(Handle(),
                           m_notificationClasses
                               ? m_notificationClasses()
                               : std::vector<Guid>{kDfuInterfaceClass, kSecondInterfaceClass});
}

std::optional<INT_PTR> ProgrammerWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog();
      return TRUE;
    case WM_TIMER:
      if (!m_serialDialogOpen) m_dialog.OnTimer(static_cast<int>(wParam));
      return TRUE;
    case WM_COMMAND:
      return OnCommand(wParam);
    case WM_CLOSE:
      m_dialog.OnCancel();
      return TRUE;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
      const ColourScheme scheme =
          m_dialog.ControlColour(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)));
      if (scheme == ColourScheme::FrameworkDefault) return std::nullopt;
      return m_brushes.Paint(reinterpret_cast<HDC>(wParam), ColoursOf(scheme));
    }
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) != IDM_ABOUTBOX) return std::nullopt;
      AboutDialog().RunModal(IDD_ABOUTBOX, Handle());
      return TRUE;
    case WM_PAINT:
      return OnPaint();
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(m_icon);
    case WM_DEVICECHANGE:
      return OnDeviceChange(wParam, lParam);
    case kDeviceEventMessage:
      if (!m_serialDialogOpen) OnDeviceEvent();
      return TRUE;
    case kShowProblemsMessage:
      if (m_problems != nullptr) m_problems->ShowPending();
      return TRUE;
    case WM_DESTROY:
      ReleaseButtonBitmap(GetDlgItem(Handle(), kIdBrowse));
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

std::optional<INT_PTR> ProgrammerWindow::OnCommand(WPARAM wParam) {
  const int id = LOWORD(wParam);
  const int code = HIWORD(wParam);
  if (id == kIdFirmwarePath) {
    if (code == CBN_EDITCHANGE) m_dialog.OnFirmwarePathEdited();
    if (code == CBN_SELCHANGE) m_dialog.OnFirmwarePathPicked();
    return TRUE;
  }
  // Clicks, keys and the worker's posted commands; the edits' notifications are not wanted.
  if (code != BN_CLICKED) return std::nullopt;
  m_dialog.OnCommand(id);
  return TRUE;
}

std::optional<INT_PTR> ProgrammerWindow::OnPaint() {
  if (!IsIconic(Handle())) return std::nullopt;
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(Handle(), &paint);
  SendMessageA(Handle(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  GetClientRect(Handle(), &client);
  const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
  DrawIcon(dc, x, y, m_icon);
  EndPaint(Handle(), &paint);
  return TRUE;
}

INT_PTR ProgrammerWindow::OnDeviceChange(WPARAM event, LPARAM data) {
  if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) return Answer(TRUE);
  const std::optional<std::string> name = DeviceInterfaceName(reinterpret_cast<const void*>(data));
  if (!name) return Answer(TRUE);
  const DeviceEvent change =
      event == DBT_DEVICEARRIVAL ? DeviceEvent::Arrival : DeviceEvent::Removal;
  if (m_serialDialogOpen) {
    m_window.HoldDeviceEvent(change, *name);
  } else {
    m_dialog.OnDeviceChange(change, *name);
  }
  if (change == DeviceEvent::Arrival) RegisterNotifications();
  return Answer(TRUE);
}

void ProgrammerWindow::OnDeviceEvent() {
  if (auto event = m_window.TakeDeviceEvent()) m_dialog.OnDeviceChange(event->first, event->second);
}

bool ProgrammerWindow::RunSerialNumberDialog(SerialNumberDialog& dialog) {
  m_serialDialogOpen = true;
  const INT_PTR result =
      SerialNumberWindow(dialog, m_brushes).RunModal(IDD_SERIAL_NUMBER, Handle());
  m_serialDialogOpen = false;
  // What happened to the devices meanwhile is known before "MAC setzen" goes on.
  while (auto event = m_window.TakeDeviceEvent())
    m_dialog.OnDeviceChange(event->first, event->second);
  return result == IDOK;
}

}  // namespace kestrune::win32
