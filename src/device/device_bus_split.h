#pragma once
// One bus seen as several: each view shows a single device interface and hears only of its
// arrivals and removals. Discovery, a run and its wait for the device's return then work on that
// one device as if it were alone, whatever else is attached, and several views can each have
// their own listener although the bus has one.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/device_bus.h"

namespace kestrune {

class DeviceBusSplitter {
 public:
  // Listens to the bus only while a view has a listener, so views made just to look (a listing)
  // leave the bus's own listener alone.
  explicit DeviceBusSplitter(DeviceBus& bus) : m_bus(bus) {}
  // Every view must be gone before.
  ~DeviceBusSplitter() = default;
  DeviceBusSplitter(const DeviceBusSplitter&) = delete;
  DeviceBusSplitter& operator=(const DeviceBusSplitter&) = delete;

  // A bus that shows only the interface at `path`, of whichever class.
  std::unique_ptr<DeviceBus> View(const std::string& path);

 private:
  class ViewBus;
  struct Subscriber {
    const ViewBus* view;
    std::string path;
    DeviceBus::Listener listener;
  };
  void Subscribe(const ViewBus* view, const std::string& path, DeviceBus::Listener listener);
  void Deliver(DeviceEvent event, const std::string& path);

  DeviceBus& m_bus;
  std::mutex m_mutex;  // held while a listener runs, so that unsubscribing waits for it
  std::vector<Subscriber> m_subscribers;
  // Orders the changes of the bus's listener; never held with m_mutex, which the bus's delivery
  // takes under its own lock.
  std::mutex m_busListenerMutex;
  bool m_listening = false;
};

}  // namespace kestrune
