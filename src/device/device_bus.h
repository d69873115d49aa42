#pragma once
// The device-bus seam: which DFU device interfaces are present, per interface class, and the
// arrival and removal events of interfaces. Implemented by the simulator and by real buses
// (SetupDi with device notifications on Windows, libusb with hot-plug on Linux).

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kestrune {

// A 16-byte GUID in Windows layout.
struct Guid {
  std::uint32_t data1 = 0;
  std::uint16_t data2 = 0;
  std::uint16_t data3 = 0;
  std::uint8_t data4[8] = {};

  friend bool operator==(const Guid&, const Guid&) = default;
};

// The two device interface classes of the vendor's DFU driver, in the order discovery counts them.
inline constexpr Guid kDfuInterfaceClass{
    0x3FE809AB, 0xFB91, 0x4CB5, {0xA6, 0x43, 0x69, 0x67, 0x0D, 0x52, 0x36, 0x6E}};
inline constexpr Guid kSecondInterfaceClass{
    0xCB979912, 0x5029, 0x420A, {0xAE, 0xB1, 0x34, 0xFC, 0x0A, 0x7D, 0x57, 0x26}};

enum class DeviceEvent { Arrival, Removal };

class DeviceBus {
 public:
  virtual ~DeviceBus() = default;
  // The interface paths of the present devices of `interfaceClass`, in member-index order, or
  // nothing when the set of present devices cannot be obtained.
  virtual std::optional<std::vector<std::string>> PresentInterfaces(const Guid& interfaceClass) = 0;
  // Arrival and removal of a device interface, with its path. The listener may be called on any
  // thread; front ends forward it to the window's thread. An empty function unsubscribes.
  using Listener = std::function<void(DeviceEvent, const std::string& path)>;
  virtual void SetListener(Listener listener) = 0;
};

}  // namespace kestrune
