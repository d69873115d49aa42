#pragma once
// A simulated bench: one or more simulated boot loaders on a simulated USB bus. It opens devices
// by interface path (UsbBackend) and lists present interfaces per class with arrival and removal
// events (DeviceBus), in the Windows path form
//   \\?\usb#vid_0483&pid_df11#<instance>#{3fe809ab-fb91-4cb5-a643-69670d52366e}
//
// Devices leave the bus when the chip resets (option-byte write, read unprotect, leaving DFU
// mode), when a fault drops them or when they are unplugged, and come back after their return
// delay under the same path. Handles opened before a device left fail with UsbResult::NoDevice
// for good; a new Open reaches the device again.
//
// Thread-safe: any thread may call any operation. Timed events (a device that leaves or comes
// back) happen on the bench's clock; they are noticed by every call and, once
// StartEventThread has been called, by a thread of the bench, so that listeners hear of them
// without anyone asking. The listener runs on the thread that noticed the event and must not
// call SetListener.

#include <array>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "device/device_bus.h"
#include "platform/clock.h"
#include "sim/sim_config.h"
#include "usb/usb_device.h"

namespace kestrune {

struct SimAddResult {
  std::optional<std::size_t> device;  // index of the new device
  std::string error;                  // why it could not be made
};

class SimBench final : public UsbBackend, public DeviceBus {
 public:
  explicit SimBench(Clock& clock);
  ~SimBench() override;
  SimBench(const SimBench&) = delete;
  SimBench& operator=(const SimBench&) = delete;

  // Adds a device, present on the bus at once. Missing serial number, instance and interface
  // strings are filled in as the boot loader would have them. Fails for a path already in use
  // or memory images that cannot be loaded.
  SimAddResult AddDevice(SimDeviceConfig config);
  std::size_t DeviceCount() const;
  std::string PathOf(std::size_t device) const;
  bool IsPresent(std::size_t device) const;
  // Takes the device off the bus until Plug (a removal event); Plug also cuts short a wait for
  // the device's return.
  void Unplug(std::size_t device);
  void Plug(std::size_t device);
  void AddFault(std::size_t device, const SimFault& fault);
  void LockOtpBlock(std::size_t device, std::uint32_t block);
  // Reads device memory of an alternate setting directly, as stored (without faults, read
  // protection, the limits of the OTP alternate or the masking of undefined option bits);
  // empty when the address is outside that alternate's memory.
  std::vector<std::uint8_t> Peek(std::size_t device, std::uint8_t alternate, std::uint32_t address,
                                 std::uint32_t length) const;
  // Programs flash directly as the chip does (bits only go from 1 to 0), without a request: a
  // device that holds data before a test's run. False where the chip refuses the write.
  bool ProgramFlash(std::size_t device, std::uint32_t address,
                    const std::vector<std::uint8_t>& bytes);
  // The requests of each kind (in SimRequest order) that reached a device since it was added.
  std::array<std::uint32_t, kSimRequestKinds> RequestCounts(std::size_t device) const;
  // When the bench ends, writes the request counts of every device to `path`, one line
  // "<instance> <request> <count>" per kind.
  void WriteRequestCountsAtEnd(std::string path);
  // The DFU state and status of a device, for tests.
  std::uint8_t DfuStateOf(std::size_t device) const;
  std::uint8_t DfuStatusOf(std::size_t device) const;

  // Carries out the timed events that are due.
  void Update();
  void StartEventThread();
  // Makes each device with an image folder one process's at a time, as a USB device is: while
  // handles of this bench are open on it, an Open by another process fails, and that process's
  // bench tells `problems` the device is in use. The hold is an operating-system lock on a file
  // in the image folder, so it ends with the process however that ends.
  void HoldDevicesAgainstOtherProcesses(UsbOpenProblemSink problems);

  std::unique_ptr<UsbDevice> Open(const std::string& path) override;
  std::optional<std::vector<std::string>> PresentInterfaces(const Guid& interfaceClass) override;
  void SetListener(Listener listener) override;

  class Core;

 private:
  void WriteRequestCounts() const;

  std::shared_ptr<Core> m_core;
  std::string m_requestCountFile;
  std::mutex m_threadMutex;
  std::condition_variable m_wake;
  bool m_stop = false;
  std::thread m_thread;
};

// The interface path of a device as Windows writes it (lower case).
std::string SimDevicePath(std::uint16_t vid, std::uint16_t pid, const std::string& instance,
                          const Guid& interfaceClass);

}  // namespace kestrune
