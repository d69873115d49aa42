#pragma once
// The device bus on Linux: the DFU-mode interfaces that libusb sees, all reported under the DFU
// interface class (Linux has no second class), and their arrival and removal from libusb's
// hot-plug events, heard on a thread of the bus once a listener is set. Where libusb has no
// hot-plug support no events come, and the window's idle discovery finds devices instead. The
// listener runs on the event thread and must not call SetListener.

#include <atomic>
#include <map>
#include <mutex>
#include <thread>

#include "device/device_bus.h"
#include "usb/libusb_context.h"

namespace kestrune {

class LibusbBus final : public DeviceBus {
 public:
  explicit LibusbBus(LibusbContext& context);
  ~LibusbBus() override;
  LibusbBus(const LibusbBus&) = delete;
  LibusbBus& operator=(const LibusbBus&) = delete;

  std::optional<std::vector<std::string>> PresentInterfaces(const Guid& interfaceClass) override;
  void SetListener(Listener listener) override;

  // Called by libusb on the event thread (and while registering, for the devices present then).
  void OnHotplug(libusb_device* device, bool arrived);

 private:
  void StartEvents();

  LibusbContext& m_context;
  std::mutex m_listenerMutex;
  Listener m_listener;
  std::mutex m_mutex;  // guards the known devices and m_registering
  // Paths of the DFU devices seen arriving, so that a removal names the paths the device had.
  std::map<libusb_device*, std::vector<std::string>> m_known;
  bool m_registering = false;
  bool m_started = false;
  int m_callback = 0;
  std::atomic<int> m_stop{0};
  std::thread m_thread;
};

}  // namespace kestrune
