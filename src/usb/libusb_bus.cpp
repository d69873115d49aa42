#include "usb/libusb_bus.h"

#include <libusb.h>

namespace kestrune {
namespace {

int LIBUSB_CALL HotplugCallback(libusb_context*, libusb_device* device, libusb_hotplug_event event,
                                void* bus) {
  static_cast<LibusbBus*>(bus)->OnHotplug(device, event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED);
  return 0;  // stay registered
}

std::vector<std::string> PathsOf(libusb_device* device) {
  std::vector<std::string> paths;
  for (DfuInterfacePath& interface : DfuInterfacesOf(device)) {
    paths.push_back(std::move(interface.path));
  }
  return paths;
}

// How long one wait for events lasts; stopping the thread interrupts it sooner.
constexpr long kEventWaitUs = 500000;

}  // namespace

LibusbBus::LibusbBus(LibusbContext& context) : m_context(context) {}

LibusbBus::~LibusbBus() {
  if (m_started) {
    m_stop = 1;
    libusb_hotplug_deregister_callback(m_context.Get(), m_callback);
    libusb_interrupt_event_handler(m_context.Get());
    m_thread.join();
  }
  for (auto& [device, paths] : m_known) libusb_unref_device(device);
}

std::optional<std::vector<std::string>> LibusbBus::PresentInterfaces(const Guid& interfaceClass) {
  if (m_context.Get() == nullptr) return std::nullopt;
  std::vector<std::string> paths;
  if (interfaceClass != kDfuInterfaceClass) return paths;
  libusb_device** list = nullptr;
  const ssize_t count = libusb_get_device_list(m_context.Get(), &list);
  if (count < 0) return std::nullopt;
  for (ssize_t i = 0; i < count; ++i) {
    for (std::string& path : PathsOf(list[i])) paths.push_back(std::move(path));
  }
  libusb_free_device_list(list, 1);
  return paths;
}

void LibusbBus::SetListener(Listener listener) {
  const bool wanted = static_cast<bool>(listener);
  {
    std::lock_guard<std::mutex> lock(m_listenerMutex);
    m_listener = std::move(listener);
  }
  if (wanted) StartEvents();
}

void LibusbBus::StartEvents() {
  if (m_started || m_context.Get() == nullptr || !libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG)) {
    return;
  }
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_registering = true;
  }
  // Enumerating the present devices at registration teaches the bus their paths, for their removal.
  const int registered = libusb_hotplug_register_callback(
      m_context.Get(),
      static_cast<libusb_hotplug_event>(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED |
                                        LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT),
      LIBUSB_HOTPLUG_ENUMERATE, LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
      LIBUSB_HOTPLUG_MATCH_ANY, HotplugCallback, this, &m_callback);
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_registering = false;
  }
  if (registered != LIBUSB_SUCCESS) return;
  m_started = true;
  m_thread = std::thread([this] {
    while (m_stop.load() == 0) {
      timeval wait{0, kEventWaitUs};
      int stop = 0;
      libusb_handle_events_timeout_completed(m_context.Get(), &wait, &stop);
    }
  });
}

void LibusbBus::OnHotplug(libusb_device* device, bool arrived) {
  std::vector<std::string> paths;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto known = m_known.find(device);
    if (arrived) {
      if (known != m_known.end()) return;
      paths = PathsOf(device);
      if (paths.empty()) return;
      m_known.emplace(libusb_ref_device(device), paths);
    } else {
      if (known == m_known.end()) return;  // not a DFU device
      paths = std::move(known->second);
      libusb_unref_device(known->first);
      m_known.erase(known);
    }
    if (m_registering) return;
  }
  // Held while calling, so that once SetListener returned the old listener is never called again.
  std::lock_guard<std::mutex> lock(m_listenerMutex);
  if (!m_listener) return;
  for (const std::string& path : paths) {
    m_listener(arrived ? DeviceEvent::Arrival : DeviceEvent::Removal, path);
  }
}

}  // namespace kestrune
