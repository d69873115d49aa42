#include "usb/setupdi_bus.h"

#include <dbt.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "device/device_path.h"
#include "usb/setupdi_boot_loaders.h"
#include "usb/setupdi_broadcast.h"
#include "usb/windows_guid.h"

namespace kestrune {
namespace {

// Device paths are a few hundred characters; a detail larger than this is no path.
constexpr DWORD kMaxDetailSize = 4096;
constexpr char kWindowClass[] = "KestruneDeviceEvents";
// GUID_DEVINTERFACE_USB_DEVICE: every USB device, whatever its driver.
constexpr Guid kUsbDeviceClass{
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

LRESULT CALLBACK HiddenWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  } else if (message == WM_DEVICECHANGE &&
             (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE)) {
    const std::optional<std::string> name =
        DeviceInterfaceName(reinterpret_cast<const void*>(lParam));
    auto* bus = reinterpret_cast<SetupDiBus*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (name && bus != nullptr) {
      bus->Notify(wParam == DBT_DEVICEARRIVAL ? DeviceEvent::Arrival : DeviceEvent::Removal, *name);
    }
    return TRUE;
  } else if (message == WM_CLOSE) {
    DestroyWindow(window);
    return 0;
  } else if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

SetupDiBus::SetupDiBus(const WinUsbApi& api, bool ownNotifications, UsbOpenProblemSink problems)
    : m_api(api), m_ownNotifications(ownNotifications), m_problems(std::move(problems)) {}

SetupDiBus::~SetupDiBus() {
  if (!m_thread.joinable()) return;
  {
    std::unique_lock<std::mutex> lock(m_windowMutex);
    m_windowReady.wait(lock, [this] { return m_windowDone; });
    if (m_window != nullptr) PostMessageA(m_window, WM_CLOSE, 0, 0);
  }
  m_thread.join();
}

std::optional<std::vector<std::string>> SetupDiBus::PresentInterfaces(const Guid& interfaceClass) {
  std::optional<std::vector<std::string>> paths = ClassPaths(interfaceClass);
  if (interfaceClass == kDfuInterfaceClass) AddBootLoaders(paths);
  return paths;
}

void SetupDiBus::AddBootLoaders(std::optional<std::vector<std::string>>& paths) {
  const std::optional<std::vector<BootLoaderDevice>> devices = FindBootLoaderDevices(m_api);
  if (!devices) return;
  for (const BootLoaderDevice& device : *devices) {
    if (device.interfaceClasses.empty() && !IsWinUsbService(device.service) && m_problems) {
      m_problems({UsbOpenProblem::Kind::NotWinUsb, device.instanceId, device.service});
    }
    for (const Guid& learnt : device.interfaceClasses) {
      {
        std::lock_guard<std::mutex> lock(m_learntMutex);
        if (std::find(m_learnt.begin(), m_learnt.end(), learnt) == m_learnt.end()) {
          m_learnt.push_back(learnt);
        }
      }
      // The DFU classes are enumerated as such.
      if (learnt == kDfuInterfaceClass || learnt == kSecondInterfaceClass) continue;
      for (const std::string& path : ClassPaths(learnt).value_or(std::vector<std::string>{})) {
        if (!IsBootLoaderPath(path)) continue;  // a class shared with other devices
        if (!paths) paths.emplace();
        if (std::none_of(paths->begin(), paths->end(), [&path](const std::string& known) {
              return SameDevicePath(known, path);
            })) {
          paths->push_back(path);
        }
      }
    }
  }
}

std::vector<Guid> SetupDiBus::NotificationClasses() {
  std::vector<Guid> classes{kDfuInterfaceClass, kSecondInterfaceClass, kUsbDeviceClass};
  std::lock_guard<std::mutex> lock(m_learntMutex);
  for (const Guid& learnt : m_learnt) {
    if (std::find(classes.begin(), classes.end(), learnt) == classes.end()) {
      classes.push_back(learnt);
    }
  }
  return classes;
}

std::optional<std::vector<std::string>> SetupDiBus::ClassPaths(const Guid& interfaceClass) {
  const GUID guid = ToWindowsGuid(interfaceClass);
  const HDEVINFO set =
      m_api.SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return std::nullopt;
  std::vector<std::string> paths;
  for (DWORD index = 0;; ++index) {
    SP_DEVICE_INTERFACE_DATA interface {};
    interface.cbSize = sizeof interface;
    if (!m_api.SetupDiEnumDeviceInterfaces(set, nullptr, &guid, index, &interface)) break;
    DWORD required = 0;
    m_api.SetupDiGetDeviceInterfaceDetailA(set, &interface, nullptr, 0, &required, nullptr);
    // Too small or too large for a path: the detail call below would fail, so it is not counted.
    if (required <= offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) ||
        required > kMaxDetailSize) {
      continue;
    }
    std::vector<DWORD> buffer((required + sizeof(DWORD) - 1) / sizeof(DWORD));
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
    // The size field holds the size of the fixed part, not of the buffer.
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!m_api.SetupDiGetDeviceInterfaceDetailA(set, &interface, detail, required, nullptr,
                                                nullptr)) {
      continue;
    }
    const std::size_t room = required - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    paths.emplace_back(detail->DevicePath, strnlen(detail->DevicePath, room));
  }
  m_api.SetupDiDestroyDeviceInfoList(set);
  return paths;
}

void SetupDiBus::SetListener(Listener listener) {
  const bool wanted = static_cast<bool>(listener);
  {
    std::lock_guard<std::mutex> lock(m_listenerMutex);
    m_listener = std::move(listener);
  }
  if (wanted && m_ownNotifications && !m_thread.joinable()) {
    m_thread = std::thread([this] { ListenOnHiddenWindow(); });
  }
}

void SetupDiBus::Notify(DeviceEvent event, const std::string& path) {
  // Held while calling, so that once SetListener returned the old listener is never called again.
  std::lock_guard<std::mutex> lock(m_listenerMutex);
  if (m_listener) m_listener(event, path);
}

void SetupDiBus::ListenOnHiddenWindow() {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = HiddenWindowProcedure;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kWindowClass;
  RegisterClassA(&windowClass);  // fails harmlessly when a second bus registered it already
  const HWND window =
      CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, this);
  {
    std::lock_guard<std::mutex> lock(m_windowMutex);
    m_window = window;
    m_windowDone = true;
  }
  m_windowReady.notify_all();
  // Without a window no events come; the window's idle discovery still finds devices.
  if (window == nullptr) return;
  for (const Guid& interfaceClass : NotificationClasses()) {
    DEV_BROADCAST_DEVICEINTERFACE_A filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = ToWindowsGuid(interfaceClass);
    RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
  }
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
}

}  // namespace kestrune
