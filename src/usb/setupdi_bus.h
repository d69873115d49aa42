#pragma once
// The device bus on Windows: the present device interfaces of a class from the device-installation
// functions (the path of each from its interface detail), and, when asked to, the arrival and
// removal of the classes that concern discovery heard on a hidden message window of the bus's own
// thread. A front end whose window registers for device notifications itself leaves that off.
//
// The boot loader's interfaces count under the first DFU class however WinUSB was bound to it:
// through our INF (which names that class), or through a generic installer, which writes a class
// of its own into the device's registry key. A boot loader that no WinUSB binding reaches is told
// to the problem sink with the driver bound instead.

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "device/device_bus.h"
#include "usb/usb_device.h"
#include "usb/winusb_api.h"

namespace kestrune {

class SetupDiBus final : public DeviceBus {
 public:
  SetupDiBus(const WinUsbApi& api, bool ownNotifications, UsbOpenProblemSink problems = {});
  ~SetupDiBus() override;
  SetupDiBus(const SetupDiBus&) = delete;
  SetupDiBus& operator=(const SetupDiBus&) = delete;

  std::optional<std::vector<std::string>> PresentInterfaces(const Guid& interfaceClass) override;
  // The listener runs on the bus's thread and must not call SetListener.
  void SetListener(Listener listener) override;

  // The two DFU classes, every USB device (so that a boot loader whose class is not yet known is
  // heard arriving) and the classes learnt from the boot loaders' registry keys.
  std::vector<Guid> NotificationClasses();

  // From the hidden window's procedure.
  void Notify(DeviceEvent event, const std::string& path);

 private:
  std::optional<std::vector<std::string>> ClassPaths(const Guid& interfaceClass);
  // Adds the boot loaders reached through classes of their own to `paths`; tells the others.
  void AddBootLoaders(std::optional<std::vector<std::string>>& paths);
  void ListenOnHiddenWindow();

  const WinUsbApi& m_api;
  const bool m_ownNotifications;
  const UsbOpenProblemSink m_problems;
  std::mutex m_learntMutex;
  std::vector<Guid> m_learnt;
  std::mutex m_listenerMutex;
  Listener m_listener;
  std::mutex m_windowMutex;
  std::condition_variable m_windowReady;
  bool m_windowDone = false;  // created, or failed to be
  HWND m_window = nullptr;
  std::thread m_thread;
};

}  // namespace kestrune
