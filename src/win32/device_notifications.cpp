#include "win32/device_notifications.h"

#include <dbt.h>

#include <algorithm>
#include <optional>

#include "usb/windows_guid.h"

namespace kestrune::win32 {
namespace {

using RegisterFunction = HDEVNOTIFY(WINAPI*)(HANDLE, LPVOID, DWORD);
using HidGuidFunction = void(WINAPI*)(GUID*);

// The HID class, from the HID library when it is there.
std::optional<GUID> HidClass() {
  HMODULE hid = LoadLibraryA("hid.dll");
  if (hid == nullptr) return std::nullopt;
  auto function = reinterpret_cast<HidGuidFunction>(
      reinterpret_cast<void*>(GetProcAddress(hid, "HidD_GetHidGuid")));
  if (function == nullptr) return std::nullopt;
  GUID guid{};
  function(&guid);
  return guid;
}

RegisterFunction RegisterDeviceNotificationFunction() {
  static RegisterFunction function = [] {
    HMODULE user = GetModuleHandleA("User32");
    if (user == nullptr) user = LoadLibraryA("User32");
    return user == nullptr ? nullptr
                           : reinterpret_cast<RegisterFunction>(reinterpret_cast<void*>(
                                 GetProcAddress(user, "RegisterDeviceNotificationA")));
  }();
  return function;
}

bool RegisterFor(HWND window, const GUID& interfaceClass) {
  RegisterFunction registerFunction = RegisterDeviceNotificationFunction();
  if (registerFunction == nullptr) return false;
  DEV_BROADCAST_DEVICEINTERFACE_A filter{};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_classguid = interfaceClass;
  return registerFunction(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE) != nullptr;
}

}  // namespace

int NotificationRegistrations::Register(HWND window, const std::vector<Guid>& classes) {
  int registered = 0;
  for (const Guid& interfaceClass : classes) {
    if (std::find(m_registered.begin(), m_registered.end(), interfaceClass) != m_registered.end()) {
      continue;
    }
    m_registered.push_back(interfaceClass);
    if (RegisterFor(window, ToWindowsGuid(interfaceClass))) ++registered;
  }
  if (!m_hidTried) {
    m_hidTried = true;
    if (const std::optional<GUID> hid = HidClass(); hid && RegisterFor(window, *hid)) ++registered;
  }
  return registered;
}

}  // namespace kestrune::win32
