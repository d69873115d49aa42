#include "device/device_bus_split.h"

#include "device/device_path.h"

namespace kestrune {

class DeviceBusSplitter::ViewBus final : public DeviceBus {
 public:
  ViewBus(DeviceBusSplitter& splitter, std::string path)
      : m_splitter(splitter), m_path(std::move(path)) {}
  ~ViewBus() override { m_splitter.Subscribe(this, m_path, {}); }

  std::optional<std::vector<std::string>> PresentInterfaces(const Guid& interfaceClass) override {
    std::optional<std::vector<std::string>> present =
        m_splitter.m_bus.PresentInterfaces(interfaceClass);
    if (present) {
      std::erase_if(*present,
                    [this](const std::string& path) { return !SameDevicePath(path, m_path); });
    }
    return present;
  }
  void SetListener(Listener listener) override {
    m_splitter.Subscribe(this, m_path, std::move(listener));
  }

 private:
  DeviceBusSplitter& m_splitter;
  std::string m_path;
};

std::unique_ptr<DeviceBus> DeviceBusSplitter::View(const std::string& path) {
  return std::make_unique<ViewBus>(*this, path);
}

void DeviceBusSplitter::Subscribe(const ViewBus* view, const std::string& path,
                                  DeviceBus::Listener listener) {
  {
    std::lock_guard lock(m_mutex);
    std::erase_if(m_subscribers, [view](const Subscriber& s) { return s.view == view; });
    if (listener) m_subscribers.push_back({view, path, std::move(listener)});
  }
  std::lock_guard busLock(m_busListenerMutex);
  bool wanted = false;
  {
    std::lock_guard lock(m_mutex);
    wanted = !m_subscribers.empty();
  }
  if (wanted == m_listening) return;
  m_listening = wanted;
  if (wanted) {
    m_bus.SetListener(
        [this](DeviceEvent event, const std::string& eventPath) { Deliver(event, eventPath); });
  } else {
    m_bus.SetListener({});
  }
}

void DeviceBusSplitter::Deliver(DeviceEvent event, const std::string& path) {
  std::lock_guard lock(m_mutex);
  for (const Subscriber& subscriber : m_subscribers) {
    if (SameDevicePath(subscriber.path, path)) subscriber.listener(event, path);
  }
}

}  // namespace kestrune
