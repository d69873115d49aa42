#include "sim/sim_bench.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>

#include "device/guid_text.h"
#include "sim/sim_boot_loader.h"
#include "support/ascii_case.h"

namespace kestrune {
namespace {

bool Reached(std::uint32_t now, std::uint32_t tick) {
  return static_cast<std::int32_t>(now - tick) >= 0;
}

bool SameGuid(const Guid& a, const Guid& b) {
  return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3 &&
         std::equal(a.data4, a.data4 + 8, b.data4);
}

std::filesystem::path NormalFolder(const std::string& folder) {
  std::filesystem::path path = std::filesystem::path(folder).lexically_normal();
  return path.has_filename() ? path : path.parent_path();  // "images/" is "images"
}

bool SameFolder(const std::string& a, const std::string& b) {
  return !b.empty() && NormalFolder(a) == NormalFolder(b);
}

// SET_INTERFACE gets no time-out from its caller; a device answers it at once or never.
constexpr std::uint32_t kSetInterfaceTimeoutMs = 1000;

}  // namespace

std::string SimDevicePath(std::uint16_t vid, std::uint16_t pid, const std::string& instance,
                          const Guid& c) {
  // The instance may be as long as a string descriptor: only the fixed parts go through buffers,
  // so that the class GUID at the end is never cut.
  char ids[32];
  std::snprintf(ids, sizeof ids, "\\\\?\\usb#vid_%04x&pid_%04x#", vid, pid);
  return ids + AsciiLower(instance) + "#" + AsciiLower(GuidText(c));
}

class SimBench::Core {
 public:
  explicit Core(Clock& clock) : m_clock(clock) {}

  enum class Phase { Present, Resetting, Away, Unplugged };
  struct Slot {
    std::unique_ptr<SimBootLoader> loader;
    std::string path;
    Guid interfaceClass;
    Phase phase = Phase::Present;
    std::uint32_t until = 0;  // Resetting: when the bus notices; Away: when it returns
    bool returns = false;     // Away: comes back at `until`
    // Present as its application, not in DFU mode: no DFU interface to list or open.
    bool application = false;
    std::uint64_t generation = 0;
    // Bus time not spent on the clock yet: the clock sleeps whole milliseconds.
    std::uint32_t busCarryUs = 0;
  };
  struct Event {
    DeviceEvent kind;
    std::string path;
  };

  Clock& m_clock;
  mutable std::mutex m_mutex;
  std::vector<Slot> m_slots;
  std::deque<Event> m_events;  // noticed, not yet delivered
  std::recursive_mutex m_listenerMutex;
  Listener m_listener;

  // Every operation that might notice an event delivers the queued events afterwards, in order,
  // without holding m_mutex (the listener may call back into the bench).
  void Deliver() {
    static thread_local bool delivering = false;
    if (delivering) return;  // the outer loop on this thread delivers it
    std::lock_guard<std::recursive_mutex> listenerLock(m_listenerMutex);
    delivering = true;
    for (;;) {
      Event event;
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_events.empty()) break;
        event = std::move(m_events.front());
        m_events.pop_front();
      }
      if (m_listener) m_listener(event.kind, event.path);
    }
    delivering = false;
  }

  void Leave(Slot& slot, std::optional<std::uint32_t> returnAt) {
    ++slot.generation;
    slot.phase = Phase::Away;
    slot.returns = returnAt.has_value();
    slot.until = returnAt.value_or(0);
    m_events.push_back({DeviceEvent::Removal, slot.path});
  }

  void Arrive(Slot& slot) {
    slot.loader->Restart();
    slot.phase = Phase::Present;
    slot.application = false;
    m_events.push_back({DeviceEvent::Arrival, slot.path});
  }

  // Back by itself after a reset or a drop, as the device's settings say.
  void Return(Slot& slot) {
    const SimDeviceConfig& config = slot.loader->Config();
    if (!config.returnInstance.empty()) {
      slot.path = SimDevicePath(config.vid, config.pid, config.returnInstance, slot.interfaceClass);
    }
    if (config.returnInDfu) {
      Arrive(slot);
      return;
    }
    slot.phase = Phase::Present;
    slot.application = true;
  }

  static bool OnBus(const Slot& slot) {
    return (slot.phase == Phase::Present || slot.phase == Phase::Resetting) && !slot.application;
  }

  void UpdateLocked(std::uint32_t now) {
    for (Slot& slot : m_slots) {
      const SimDeviceConfig& config = slot.loader->Config();
      const auto resetAt = slot.loader->ResetAt();
      if (slot.phase == Phase::Present && resetAt && Reached(now, *resetAt)) {
        slot.phase = Phase::Resetting;
        slot.until = *resetAt + config.leaveDelayMs;
      }
      if (slot.phase == Phase::Resetting && Reached(now, slot.until)) {
        Leave(slot, slot.until + config.returnDelayMs);
      }
      if (slot.phase == Phase::Away && slot.returns && Reached(now, slot.until)) Return(slot);
    }
  }

  // The time the request took on the bus, in whole milliseconds with the rest carried over.
  static std::uint32_t BusTimeMs(Slot& slot, std::uint32_t dataBytes) {
    const std::uint64_t us =
        slot.busCarryUs + std::uint64_t{SimTransferUs(slot.loader->Config().timing, dataBytes)};
    slot.busCarryUs = static_cast<std::uint32_t>(us % 1000);
    return static_cast<std::uint32_t>(us / 1000);
  }

  void Update() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      UpdateLocked(m_clock.TickCount());
    }
    Deliver();
  }

  UsbTransfer Transfer(std::size_t index, std::uint64_t generation, const UsbSetup& setup,
                       std::uint8_t* data, std::uint32_t timeoutMs) {
    UsbTransfer result{UsbResult::NoDevice, 0};
    std::uint32_t sleepMs = 0;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      const std::uint32_t now = m_clock.TickCount();
      UpdateLocked(now);
      Slot& slot = m_slots[index];
      if (slot.generation != generation || slot.phase == Phase::Away ||
          slot.phase == Phase::Unplugged) {
        result = {UsbResult::NoDevice, 0};
      } else if (slot.phase == Phase::Resetting) {
        // The chip is resetting and answers nothing until the bus notices it is gone.
        result = {UsbResult::Timeout, 0};
        sleepMs = std::min(timeoutMs, slot.until - now);
      } else if (data == nullptr && setup.wLength > 0) {
        result = {UsbResult::Error, 0};  // the caller gave no room for the data stage
      } else {
        const auto kind = ClassifyRequest(setup);
        const SimFault* fault = kind ? slot.loader->Faults().Next(*kind) : nullptr;
        const SimFaultAction action = fault ? fault->action : SimFaultAction::Corrupt;
        if (fault && action == SimFaultAction::Fail) {
          result = {UsbResult::Error, 0};
        } else if (fault && action == SimFaultAction::Timeout) {
          result = {UsbResult::Timeout, 0};
          sleepMs = timeoutMs;
        } else if (fault && action == SimFaultAction::Disconnect) {
          const std::uint32_t after =
              fault->returnAfterMs.value_or(slot.loader->Config().returnDelayMs);
          Leave(slot, fault->stayAway ? std::nullopt : std::optional<std::uint32_t>(now + after));
          result = {UsbResult::NoDevice, 0};
        } else {
          result = slot.loader->Handle(setup, data, now, fault);
          // An answer held back longer than the host waits never arrives; the work goes on.
          const std::uint32_t heldMs = (slot.loader->TakeHeldUs() + 999) / 1000;
          if (heldMs > timeoutMs) {
            result = {UsbResult::Timeout, 0};
            sleepMs = timeoutMs;
          } else {
            sleepMs = heldMs;
          }
          UpdateLocked(now);
        }
        // Every answer takes its time on the bus; a time-out has spent its own.
        if (result.result != UsbResult::Timeout && result.result != UsbResult::NoDevice) {
          sleepMs += BusTimeMs(slot, result.length);
        }
      }
    }
    Deliver();
    if (sleepMs > 0) m_clock.Sleep(sleepMs);
    return result;
  }
};

namespace {

class SimHandle final : public UsbDevice {
 public:
  SimHandle(std::shared_ptr<SimBench::Core> core, std::size_t index, std::uint64_t generation)
      : m_core(std::move(core)), m_index(index), m_generation(generation) {}

  UsbTransfer ControlTransfer(const UsbSetup& setup, std::uint8_t* data,
                              std::uint32_t timeoutMs) override {
    return m_core->Transfer(m_index, m_generation, setup, data, timeoutMs);
  }

  UsbResult SetAlternateSetting(std::uint8_t interfaceNumber, std::uint8_t alternate) override {
    const UsbSetup setup{0x01, 11, alternate, interfaceNumber, 0};
    return m_core->Transfer(m_index, m_generation, setup, nullptr, kSetInterfaceTimeoutMs).result;
  }

 private:
  std::shared_ptr<SimBench::Core> m_core;
  std::size_t m_index;
  std::uint64_t m_generation;
};

}  // namespace

SimBench::SimBench(Clock& clock) : m_core(std::make_shared<Core>(clock)) {}

SimBench::~SimBench() {
  {
    std::lock_guard<std::mutex> lock(m_threadMutex);
    m_stop = true;
  }
  m_wake.notify_all();
  if (m_thread.joinable()) m_thread.join();
  if (!m_requestCountFile.empty()) WriteRequestCounts();
}

void SimBench::WriteRequestCountsAtEnd(std::string path) {
  m_requestCountFile = std::move(path);
}

void SimBench::WriteRequestCounts() const {
  std::FILE* file = std::fopen(m_requestCountFile.c_str(), "w");
  if (file == nullptr) {
    std::fprintf(stderr, "simulated bench: cannot write %s\n", m_requestCountFile.c_str());
    return;
  }
  std::lock_guard<std::mutex> lock(m_core->m_mutex);
  for (const Core::Slot& slot : m_core->m_slots) {
    const auto& counts = slot.loader->Faults().Counts();
    for (std::size_t kind = 0; kind < kSimRequestKinds; ++kind) {
      std::fprintf(file, "%s %s %u\n", slot.loader->Config().instance.c_str(),
                   kSimRequestNames[kind], static_cast<unsigned>(counts[kind]));
    }
  }
  std::fclose(file);
}

SimAddResult SimBench::AddDevice(SimDeviceConfig config) {
  if (!IsSupportedFlashSize(config.flashKiB)) {
    return {std::nullopt, "unsupported flash size " + std::to_string(config.flashKiB) + " KiB"};
  }
  if (config.serialNumber.empty()) config.serialNumber = SerialFromUniqueId(config.uniqueId);
  if (config.instance.empty()) config.instance = config.serialNumber;
  if (!IsValidInstance(config.instance)) {
    return {std::nullopt, "instance \"" + config.instance +
                              "\" may hold only letters, digits and & _ - . (it defaults to the "
                              "serial number)"};
  }
  if (config.interfaceStrings.empty()) {
    config.interfaceStrings = BootLoaderInterfaceStrings(config.flashKiB);
  }
  const Guid& interfaceClass = config.interfaceClass == SimInterfaceClass::First
                                   ? kDfuInterfaceClass
                                   : kSecondInterfaceClass;
  Core::Slot slot;
  slot.path = SimDevicePath(config.vid, config.pid, config.instance, interfaceClass);
  slot.interfaceClass = interfaceClass;
  std::size_t index = 0;
  {
    std::lock_guard<std::mutex> lock(m_core->m_mutex);
    for (const Core::Slot& other : m_core->m_slots) {
      if (AsciiLower(other.path) == AsciiLower(slot.path)) {
        return {std::nullopt, "two devices with the path " + slot.path};
      }
      // Two devices on the same image files would overwrite each other's memory.
      const std::string& folder = other.loader->Config().imageFolder;
      if (!folder.empty() && SameFolder(folder, config.imageFolder)) {
        return {std::nullopt, "two devices with the image folder " + folder};
      }
    }
    std::string error;
    slot.loader = std::make_unique<SimBootLoader>(config, error);
    if (!error.empty()) return {std::nullopt, error};
    index = m_core->m_slots.size();
    m_core->m_events.push_back({DeviceEvent::Arrival, slot.path});
    m_core->m_slots.push_back(std::move(slot));
  }
  m_core->Deliver();
  return {index, ""};
}

std::size_t SimBench::DeviceCount() const {
  std::lock_guard<std::mutex> lock(m_core->m_mutex);
  return m_core->m_slots.size();
}

std::string SimBench::PathOf(std::size_t device) const {
  std::lock_guard<std::mutex> lock(m_core->m_mutex);
  return m_core->m_slots.at(device).path;
}

bool SimBench::IsPresent(std::size_t device) const {
  m_core->Update();
  std::lock_guard<std::mutex> lock(m_core->m_mutex);
  const auto phase = m_core->m_slots.at(device).phase;
  return phase == Core::Phase::Present || phase == Core::Phase::Resetting;
}

void SimBench::Unplug(std::size_t device) {
  {
    std::lock_guard<std::mutex> lock(m_core->m_mutex);
    Core::Slot& slot = m_core->m_slots.at(device);
    if (slot.phase == Core::Phase::Present || slot.phase == Core::Phase::Resetting) {
      m_core->Leave(slot, std::nullopt);
    }
    slot.phase = Core::Phase::Unplugged;
  }
  m_core->Deliver();
}

void SimBench::Plug(std::size_t device) {
  {
    std::lock_guard<std::mutex> lock(m_core->m_mutex);
    Core::Slot& slot = m_core->m_slots.at(device);
    if (slot.phase == Core::Phase::Away || slot.phase == Core::Phase::Unplugged ||
        slot.application) {
      m_core->Arrive(slot);
    }
  }
  m_core->Deliver();
}

void SimBench::AddFault(std::size_t device, const SimFault& fault) {
  std::lock_guard<std::mutex> lock(m_core->m_mutex);
  m_core->m_slots.at(device).loader->Faults().Add(fault);
}

void SimBench::LockOtpBlock(std::size_t device, std::uint32_t block) {
  std::lock_guard<std::mutex> lock(m_core->m_mutex);
  m_core->m_slots.at(device).loader->Memory().LockOtpBlock(block);
}

std::vector<std::uint8_t> SimBench::Peek(std::size_t device, std::uint8_t alternate,
                                         std::uint32_t address, std::uint32_t length) const {
  std::lock_guard<std::mutex> lock(m_core->m_mutex);
  std::vector<std::uint8_t> bytes(length);
  const auto count = m_core->m_slots.at(device).loader->Memory().Read(alternate, address, length,
                                                                      bytes.data(), true);
  bytes.resize(count.value_or(0));
  return bytes;
}

std::array<std::uint32_t, kSimRequestKinds> SimBench::RequestCounts(std::size_t device) const {
  std::lock_guard<std::mutex> lock(m_core->m_mutex);
  return m_core->m_slots.at(device).loader->Faults().Counts();
}

std::uint8_t SimBench::DfuStateOf(std::size_t device) const {
  std::lock_guard<std::mutex> lock(m_core->m_mutex);
  return m_core->m_slots.at(device).loader->State();
}

std::uint8_t SimBench::DfuStatusOf(std::size_t device) const {
  std::lock_guard<std::mutex> lock(m_core->m_mutex);
  return m_core->m_slots.at(device).loader->Status();
}

void SimBench::Update() {
  m_core->Update();
}

void SimBench::StartEventThread() {
  std::lock_guard<std::mutex> guard(m_threadMutex);
  if (m_thread.joinable() || m_stop) return;
  m_thread = std::thread([this] {
    std::unique_lock<std::mutex> lock(m_threadMutex);
    while (!m_wake.wait_for(lock, std::chrono::milliseconds(5), [this] { return m_stop; })) {
      lock.unlock();
      m_core->Update();
      lock.lock();
    }
  });
}

std::unique_ptr<UsbDevice> SimBench::Open(const std::string& path) {
  m_core->Update();
  std::lock_guard<std::mutex> lock(m_core->m_mutex);
  const std::string wanted = AsciiLower(path);
  for (std::size_t i = 0; i < m_core->m_slots.size(); ++i) {
    Core::Slot& slot = m_core->m_slots[i];
    if (Core::OnBus(slot) && AsciiLower(slot.path) == wanted) {
      // A refused open (another program has the device, say) leaves the device as it was.
      if (slot.loader->Faults().Next(SimRequest::Open) != nullptr) return nullptr;
      return std::make_unique<SimHandle>(m_core, i, slot.generation);
    }
  }
  return nullptr;
}

std::optional<std::vector<std::string>> SimBench::PresentInterfaces(const Guid& interfaceClass) {
  m_core->Update();
  std::lock_guard<std::mutex> lock(m_core->m_mutex);
  std::vector<std::string> paths;
  for (const Core::Slot& slot : m_core->m_slots) {
    if (Core::OnBus(slot) && SameGuid(slot.interfaceClass, interfaceClass)) {
      paths.push_back(slot.path);
    }
  }
  return paths;
}

void SimBench::SetListener(Listener listener) {
  std::lock_guard<std::recursive_mutex> lock(m_core->m_listenerMutex);
  m_core->m_listener = std::move(listener);
}

}  // namespace kestrune
