#pragma once
// The device bus on Windows: the present device interfaces of a class from the device-installation
// functions (the path of each from its interface detail), and, when asked to, the arrival and
// removal of the two DFU interface classes heard on a hidden message window of the bus's own
// thread. A front end whose window registers for device notifications itself leaves that off.

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "device/device_bus.h"
#include "usb/winusb_api.h"

namespace kestrune {

class SetupDiBus final : public DeviceBus {
 public:
  SetupDiBus(const WinUsbApi& api, bool ownNotifications);
  ~SetupDiBus() override;
  SetupDiBus(const SetupDiBus&) = delete;
  SetupDiBus& operator=(const SetupDiBus&) = delete;

  std::optional<std::vector<std::string>> PresentInterfaces(const Guid& interfaceClass) override;
  // The listener runs on the bus's thread and must not call SetListener.
  void SetListener(Listener listener) override;

  // From the hidden window's procedure.
  void Notify(DeviceEvent event, const std::string& path);

 private:
  void StartNotifications();
  void ListenOnHiddenWindow();

  const WinUsbApi& m_api;
  const bool m_ownNotifications;
  std::mutex m_listenerMutex;
  Listener m_listener;
  std::mutex m_windowMutex;
  std::condition_variable m_windowReady;
  bool m_windowDone = false;  // created, or failed to be
  HWND m_window = nullptr;
  std::thread m_thread;
};

}  // namespace kestrune
