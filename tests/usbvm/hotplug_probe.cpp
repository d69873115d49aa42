// Listens on the libusb device bus as the programs do and prints each DFU interface that arrives
// or leaves, with the milliseconds since it started listening, until `count` events came or
// `seconds` passed:
//
//   kestrune_hotplug_probe COUNT SECONDS
//
// It prints "listening" once it listens, so that a test attaches the device only after that.
// Exit status 0 when all events came, 1 otherwise.

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "usb/libusb_bus.h"
#include "usb/libusb_context.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s COUNT SECONDS\n", argv[0]);
    return 2;
  }
  const int wanted = std::atoi(argv[1]);
  const auto limit = std::chrono::seconds(std::atoi(argv[2]));
  kestrune::LibusbContext context;
  if (context.Get() == nullptr) {
    std::fprintf(stderr, "hotplug_probe: %s\n", context.Error().c_str());
    return 1;
  }
  kestrune::LibusbBus bus(context);
  std::mutex mutex;
  std::condition_variable heard;
  int events = 0;
  const auto start = std::chrono::steady_clock::now();
  bus.SetListener([&](kestrune::DeviceEvent event, const std::string& path) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    std::lock_guard<std::mutex> lock(mutex);
    std::printf("%s %s %lld\n", event == kestrune::DeviceEvent::Arrival ? "arrival" : "removal",
                path.c_str(), static_cast<long long>(ms));
    std::fflush(stdout);
    ++events;
    heard.notify_all();
  });
  std::printf("listening\n");
  std::fflush(stdout);
  std::unique_lock<std::mutex> lock(mutex);
  const bool all = heard.wait_for(lock, limit, [&] { return events >= wanted; });
  lock.unlock();
  bus.SetListener({});
  return all ? 0 : 1;
}
