// The simulated bench behind the libusb API, preloaded into a DFU host (dfu-util, or kestrune
// itself without --simulate) so that it talks to the simulated boot loader as to a device on the
// bus. The bench comes from KESTRUNE_SIM_FILE (optional) with images in KESTRUNE_SIM_FOLDER, on the
// real clock.
//
// Device n sits on bus 1 behind a hub on root port 1, at port n + 1 ("1-1.<n+1>"); its address
// changes every time it registers, as on a real bus. Hot-plug callbacks follow the bench's
// arrivals and removals. For the error paths, KESTRUNE_SIM_DENIED and KESTRUNE_SIM_BUSY list
// device numbers (comma-separated) that cannot be opened for want of permission or whose interface
// another program has claimed; KESTRUNE_SIM_NO_HOTPLUG=1 takes away hot-plug support.

#include <libusb.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim/sim_bench.h"
#include "sim/sim_file.h"

struct libusb_context {};

struct libusb_device {
  std::size_t index = 0;
  std::uint8_t address = 0;
  std::atomic<int> refs{1};
};

struct libusb_device_handle {
  libusb_device* device = nullptr;
  std::unique_ptr<kestrune::UsbDevice> usb;
};

namespace {

using kestrune::UsbResult;

std::mutex g_mutex;
libusb_context g_context;

// The device objects as libusb keeps them: one per device and registration, the same pointer for
// its arrival and its removal. Guarded by g_mutex; each holds a reference of its own.
std::vector<libusb_device*> g_devices;
std::uint8_t g_nextAddress = 2;

struct Hotplug {
  libusb_hotplug_callback_fn callback;
  void* user;
  int events;
};
struct HotplugEvent {
  libusb_device* device;  // referenced
  libusb_hotplug_event event;
};
std::mutex g_eventMutex;
std::condition_variable g_eventWake;
std::map<int, Hotplug> g_hotplugs;
int g_nextHotplug = 1;
std::deque<HotplugEvent> g_events;
bool g_interrupted = false;

// Declared last so that it goes first at exit: its thread still delivers into the queue above.
std::unique_ptr<kestrune::SimBench> g_bench;

bool Listed(const char* variable, std::size_t index) {
  const char* list = std::getenv(variable);
  std::istringstream in(list ? list : "");
  for (std::string item; std::getline(in, item, ',');) {
    if (!item.empty() && std::strtoul(item.c_str(), nullptr, 10) == index) return true;
  }
  return false;
}

libusb_device* NewDevice(std::size_t index) {
  auto* device = new libusb_device;
  device->index = index;
  device->address = g_nextAddress;
  g_nextAddress = static_cast<std::uint8_t>(g_nextAddress % 126 + 2);
  return device;
}

// The bench tells of arrivals and removals; hot-plug callbacks hear of them from the event handler.
void OnBenchEvent(kestrune::DeviceEvent event, const std::string& path) {
  std::size_t index = 0;
  while (index < g_bench->DeviceCount() && g_bench->PathOf(index) != path) ++index;
  libusb_device* device = nullptr;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (index >= g_devices.size()) return;
    if (event == kestrune::DeviceEvent::Arrival) {
      libusb_unref_device(g_devices[index]);
      g_devices[index] = NewDevice(index);
    }
    device = libusb_ref_device(g_devices[index]);
  }
  std::lock_guard<std::mutex> lock(g_eventMutex);
  g_events.push_back({device, event == kestrune::DeviceEvent::Arrival
                                  ? LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED
                                  : LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT});
  g_eventWake.notify_all();
}

void Deliver(const HotplugEvent& event) {
  std::vector<Hotplug> callbacks;
  {
    std::lock_guard<std::mutex> lock(g_eventMutex);
    for (const auto& [id, hotplug] : g_hotplugs) {
      if (hotplug.events & event.event) callbacks.push_back(hotplug);
    }
  }
  for (const Hotplug& hotplug : callbacks) {
    hotplug.callback(&g_context, event.device, event.event, hotplug.user);
  }
}

struct ConfigHolder {
  libusb_config_descriptor config{};
  libusb_interface interface {};
  std::vector<libusb_interface_descriptor> alternates;
  std::vector<std::vector<unsigned char>> extras;  // one per alternate, then the configuration's
};
std::map<const libusb_config_descriptor*, std::unique_ptr<ConfigHolder>> g_configs;

int ToLibusb(const kestrune::UsbTransfer& t) {
  switch (t.result) {
    case UsbResult::Ok:
      return static_cast<int>(t.length);
    case UsbResult::Stall:
      return LIBUSB_ERROR_PIPE;
    case UsbResult::Timeout:
      return LIBUSB_ERROR_TIMEOUT;
    case UsbResult::NoDevice:
      return LIBUSB_ERROR_NO_DEVICE;
    default:
      return LIBUSB_ERROR_IO;
  }
}

// A standard GET_DESCRIPTOR on a short-lived handle.
std::vector<unsigned char> Descriptor(libusb_device* dev, std::uint8_t type, std::uint16_t size) {
  auto usb = g_bench->Open(g_bench->PathOf(dev->index));
  if (!usb) return {};
  std::vector<unsigned char> bytes(size);
  const auto t = usb->ControlTransfer({0x80, 6, static_cast<std::uint16_t>(type << 8), 0, size},
                                      bytes.data(), 1000);
  bytes.resize(t.result == UsbResult::Ok ? t.length : 0);
  return bytes;
}

}  // namespace

extern "C" {

int LIBUSB_CALL libusb_init(libusb_context** ctx) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_bench) {
    const char* file = std::getenv("KESTRUNE_SIM_FILE");
    const char* folder = std::getenv("KESTRUNE_SIM_FOLDER");
    auto made =
        kestrune::MakeSimBench(kestrune::SystemClock(), file ? file : "", folder ? folder : "");
    if (!made.bench) {
      std::fprintf(stderr, "simulated bench: %s\n", made.error.c_str());
      return LIBUSB_ERROR_OTHER;
    }
    g_bench = std::move(made.bench);
    for (std::size_t i = 0; i < g_bench->DeviceCount(); ++i) g_devices.push_back(NewDevice(i));
    g_bench->SetListener(OnBenchEvent);
    g_bench->StartEventThread();
  }
  if (ctx != nullptr) *ctx = &g_context;
  return LIBUSB_SUCCESS;
}

void LIBUSB_CALL libusb_exit(libusb_context*) {}

int LIBUSB_CALL libusb_set_option(libusb_context*, enum libusb_option, ...) {
  return LIBUSB_SUCCESS;
}

const struct libusb_version* LIBUSB_CALL libusb_get_version(void) {
  static const libusb_version version{1, 0, 26, 0, "", "kestrune simulated bench"};
  return &version;
}

const char* LIBUSB_CALL libusb_error_name(int code) {
  switch (code) {
    case LIBUSB_ERROR_PIPE:
      return "LIBUSB_ERROR_PIPE";
    case LIBUSB_ERROR_TIMEOUT:
      return "LIBUSB_ERROR_TIMEOUT";
    case LIBUSB_ERROR_NO_DEVICE:
      return "LIBUSB_ERROR_NO_DEVICE";
    case LIBUSB_ERROR_IO:
      return "LIBUSB_ERROR_IO";
    case LIBUSB_ERROR_ACCESS:
      return "LIBUSB_ERROR_ACCESS";
    case LIBUSB_ERROR_BUSY:
      return "LIBUSB_ERROR_BUSY";
    default:
      return "LIBUSB_ERROR_OTHER";
  }
}

ssize_t LIBUSB_CALL libusb_get_device_list(libusb_context*, libusb_device*** list) {
  std::vector<libusb_device*> present;
  for (std::size_t i = 0; i < g_bench->DeviceCount(); ++i) {
    if (!g_bench->IsPresent(i)) continue;
    std::lock_guard<std::mutex> lock(g_mutex);
    present.push_back(libusb_ref_device(g_devices[i]));
  }
  *list = new libusb_device*[present.size() + 1];
  for (std::size_t i = 0; i < present.size(); ++i) (*list)[i] = present[i];
  (*list)[present.size()] = nullptr;
  return static_cast<ssize_t>(present.size());
}

libusb_device* LIBUSB_CALL libusb_ref_device(libusb_device* dev) {
  ++dev->refs;
  return dev;
}

void LIBUSB_CALL libusb_unref_device(libusb_device* dev) {
  if (dev != nullptr && --dev->refs == 0) delete dev;
}

void LIBUSB_CALL libusb_free_device_list(libusb_device** list, int unref_devices) {
  if (list == nullptr) return;
  for (libusb_device** d = list; unref_devices && *d != nullptr; ++d) libusb_unref_device(*d);
  delete[] list;
}

uint8_t LIBUSB_CALL libusb_get_bus_number(libusb_device*) {
  return 1;
}

uint8_t LIBUSB_CALL libusb_get_device_address(libusb_device* dev) {
  return dev->address;
}

int LIBUSB_CALL libusb_get_port_numbers(libusb_device* dev, uint8_t* ports, int length) {
  if (length < 2) return LIBUSB_ERROR_OVERFLOW;
  ports[0] = 1;
  ports[1] = static_cast<uint8_t>(dev->index + 1);
  return 2;
}

int LIBUSB_CALL libusb_get_device_descriptor(libusb_device* dev,
                                             struct libusb_device_descriptor* d) {
  const auto b = Descriptor(dev, 1, 18);
  if (b.size() != 18) return LIBUSB_ERROR_IO;
  *d = {b[0],
        b[1],
        static_cast<uint16_t>(b[2] | b[3] << 8),
        b[4],
        b[5],
        b[6],
        b[7],
        static_cast<uint16_t>(b[8] | b[9] << 8),
        static_cast<uint16_t>(b[10] | b[11] << 8),
        static_cast<uint16_t>(b[12] | b[13] << 8),
        b[14],
        b[15],
        b[16],
        b[17]};
  return LIBUSB_SUCCESS;
}

int LIBUSB_CALL libusb_get_config_descriptor(libusb_device* dev, uint8_t index,
                                             struct libusb_config_descriptor** config) {
  if (index != 0) return LIBUSB_ERROR_NOT_FOUND;
  const auto head = Descriptor(dev, 2, 9);
  if (head.size() != 9) return LIBUSB_ERROR_IO;
  const auto b = Descriptor(dev, 2, static_cast<std::uint16_t>(head[2] | head[3] << 8));
  auto holder = std::make_unique<ConfigHolder>();
  holder->extras.emplace_back();  // the configuration's own extra descriptors
  for (std::size_t at = 9; at + 2 <= b.size() && b[at] >= 2 && at + b[at] <= b.size();
       at += b[at]) {
    if (b[at + 1] == LIBUSB_DT_INTERFACE && b[at] >= 9) {
      holder->alternates.push_back({b[at], b[at + 1], b[at + 2], b[at + 3], b[at + 4], b[at + 5],
                                    b[at + 6], b[at + 7], b[at + 8], nullptr, nullptr, 0});
      holder->extras.emplace_back();
    } else {
      auto& extra = holder->extras.back();
      extra.insert(extra.end(), b.begin() + static_cast<long>(at),
                   b.begin() + static_cast<long>(at + b[at]));
    }
  }
  for (std::size_t a = 0; a < holder->alternates.size(); ++a) {
    holder->alternates[a].extra = holder->extras[a + 1].data();
    holder->alternates[a].extra_length = static_cast<int>(holder->extras[a + 1].size());
  }
  holder->interface.altsetting = holder->alternates.data();
  holder->interface.num_altsetting = static_cast<int>(holder->alternates.size());
  holder->config = {b[0],
                    b[1],
                    static_cast<uint16_t>(b[2] | b[3] << 8),
                    1,
                    b[5],
                    b[6],
                    b[7],
                    b[8],
                    &holder->interface,
                    holder->extras[0].data(),
                    static_cast<int>(holder->extras[0].size())};
  *config = &holder->config;
  std::lock_guard<std::mutex> lock(g_mutex);
  g_configs[*config] = std::move(holder);
  return LIBUSB_SUCCESS;
}

void LIBUSB_CALL libusb_free_config_descriptor(struct libusb_config_descriptor* config) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_configs.erase(config);
}

int LIBUSB_CALL libusb_open(libusb_device* dev, libusb_device_handle** handle) {
  if (Listed("KESTRUNE_SIM_DENIED", dev->index)) return LIBUSB_ERROR_ACCESS;
  auto usb = g_bench->Open(g_bench->PathOf(dev->index));
  if (!usb) return LIBUSB_ERROR_NO_DEVICE;
  *handle = new libusb_device_handle{libusb_ref_device(dev), std::move(usb)};
  return LIBUSB_SUCCESS;
}

void LIBUSB_CALL libusb_close(libusb_device_handle* handle) {
  if (handle == nullptr) return;
  libusb_unref_device(handle->device);
  delete handle;
}

int LIBUSB_CALL libusb_claim_interface(libusb_device_handle* handle, int) {
  return Listed("KESTRUNE_SIM_BUSY", handle->device->index) ? LIBUSB_ERROR_BUSY : LIBUSB_SUCCESS;
}
int LIBUSB_CALL libusb_release_interface(libusb_device_handle*, int) {
  return LIBUSB_SUCCESS;
}
int LIBUSB_CALL libusb_reset_device(libusb_device_handle*) {
  return LIBUSB_ERROR_NOT_FOUND;
}

int LIBUSB_CALL libusb_set_interface_alt_setting(libusb_device_handle* handle, int interface,
                                                 int alternate) {
  return ToLibusb({handle->usb->SetAlternateSetting(static_cast<std::uint8_t>(interface),
                                                    static_cast<std::uint8_t>(alternate)),
                   0});
}

int LIBUSB_CALL libusb_control_transfer(libusb_device_handle* handle, uint8_t request_type,
                                        uint8_t request, uint16_t value, uint16_t index,
                                        unsigned char* data, uint16_t length,
                                        unsigned int timeout) {
  const kestrune::UsbSetup setup{request_type, request, value, index, length};
  return ToLibusb(handle->usb->ControlTransfer(setup, data, timeout == 0 ? 60000 : timeout));
}

int LIBUSB_CALL libusb_get_active_config_descriptor(libusb_device* dev,
                                                    struct libusb_config_descriptor** config) {
  return libusb_get_config_descriptor(dev, 0, config);
}

int LIBUSB_CALL libusb_set_auto_detach_kernel_driver(libusb_device_handle*, int) {
  return LIBUSB_SUCCESS;
}
int LIBUSB_CALL libusb_kernel_driver_active(libusb_device_handle*, int) {
  return 0;
}
int LIBUSB_CALL libusb_detach_kernel_driver(libusb_device_handle*, int) {
  return LIBUSB_ERROR_NOT_FOUND;
}
int LIBUSB_CALL libusb_attach_kernel_driver(libusb_device_handle*, int) {
  return LIBUSB_ERROR_NOT_FOUND;
}

int LIBUSB_CALL libusb_has_capability(uint32_t capability) {
  if (capability == LIBUSB_CAP_HAS_HOTPLUG) {
    const char* off = std::getenv("KESTRUNE_SIM_NO_HOTPLUG");
    return off == nullptr || std::string(off) != "1";
  }
  return 0;
}

int LIBUSB_CALL libusb_hotplug_register_callback(libusb_context*, int events, int flags, int, int,
                                                 int, libusb_hotplug_callback_fn callback,
                                                 void* user, libusb_hotplug_callback_handle* id) {
  if (!libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG)) return LIBUSB_ERROR_NOT_SUPPORTED;
  if ((flags & LIBUSB_HOTPLUG_ENUMERATE) && (events & LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED)) {
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(&g_context, &list);
    for (ssize_t i = 0; i < count; ++i) {
      callback(&g_context, list[i], LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED, user);
    }
    libusb_free_device_list(list, 1);
  }
  std::lock_guard<std::mutex> lock(g_eventMutex);
  const int handle = g_nextHotplug++;
  g_hotplugs[handle] = {callback, user, events};
  if (id != nullptr) *id = handle;
  return LIBUSB_SUCCESS;
}

void LIBUSB_CALL libusb_hotplug_deregister_callback(libusb_context*,
                                                    libusb_hotplug_callback_handle id) {
  std::lock_guard<std::mutex> lock(g_eventMutex);
  g_hotplugs.erase(id);
  g_eventWake.notify_all();
}

void LIBUSB_CALL libusb_interrupt_event_handler(libusb_context*) {
  std::lock_guard<std::mutex> lock(g_eventMutex);
  g_interrupted = true;
  g_eventWake.notify_all();
}

int LIBUSB_CALL libusb_handle_events_timeout_completed(libusb_context*, struct timeval* tv,
                                                       int* completed) {
  std::deque<HotplugEvent> due;
  {
    std::unique_lock<std::mutex> lock(g_eventMutex);
    const auto wait =
        tv == nullptr ? std::chrono::microseconds(60000000)
                      : std::chrono::seconds(tv->tv_sec) + std::chrono::microseconds(tv->tv_usec);
    g_eventWake.wait_for(lock, wait, [completed] {
      return !g_events.empty() || g_interrupted || (completed != nullptr && *completed != 0);
    });
    g_interrupted = false;
    due.swap(g_events);
  }
  for (const HotplugEvent& event : due) {
    Deliver(event);
    libusb_unref_device(event.device);
  }
  return LIBUSB_SUCCESS;
}

}  // extern "C"
