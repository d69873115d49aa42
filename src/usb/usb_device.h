#pragma once
// The USB seam below the DFU library: just enough of a device to speak DFU on its control pipe.
// Implemented by the simulated boot loader and by real transports (libusb, WinUSB).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kestrune {

struct UsbSetup {
  std::uint8_t bmRequestType = 0;  // bit 7: device-to-host
  std::uint8_t bRequest = 0;
  std::uint16_t wValue = 0;
  std::uint16_t wIndex = 0;
  std::uint16_t wLength = 0;
};

enum class UsbResult {
  Ok,
  Stall,     // the device refused the request (STALL handshake)
  Timeout,   // no answer within the time-out
  NoDevice,  // the device left the bus
  Error,     // any other transport failure
};

struct UsbTransfer {
  UsbResult result = UsbResult::Error;
  std::uint32_t length = 0;  // bytes moved in the data stage
};

class UsbDevice {
 public:
  virtual ~UsbDevice() = default;
  // One control transfer on endpoint 0. For device-to-host requests `data` receives up to
  // setup.wLength bytes; for host-to-device requests it holds setup.wLength bytes.
  virtual UsbTransfer ControlTransfer(const UsbSetup& setup, std::uint8_t* data,
                                      std::uint32_t timeoutMs) = 0;
  // SET_INTERFACE. Transports that keep interface state in the operating system do more than
  // send the request, hence its own operation.
  virtual UsbResult SetAlternateSetting(std::uint8_t interfaceNumber, std::uint8_t alternate) = 0;
};

// Why a present device cannot be used, when the operator can do something about it.
struct UsbOpenProblem {
  enum class Kind {
    NoPermission,  // the system gives this user no access (Linux: the udev rule is missing)
    AccessDenied,  // Windows refuses the open: WinUSB lets one program at a time have the device
    InUse,         // another program has claimed the device
    NotWinUsb,     // Windows: no WinUSB binding reaches the device
  };
  Kind kind = Kind::InUse;
  std::string device;  // the interface path, or the device's instance where no path leads to it
  std::string driver;  // NotWinUsb: the service of the driver bound instead, "" for none

  friend bool operator==(const UsbOpenProblem&, const UsbOpenProblem&) = default;
};

// In plain English with what to do, without a trailing newline (the command line prints it).
std::string DescribeProblem(const UsbOpenProblem& problem);

// Where a transport or a bus tells the operator why a present device cannot be used.
using UsbOpenProblemSink = std::function<void(const UsbOpenProblem& problem)>;

// Opens devices by their interface path.
class UsbBackend {
 public:
  virtual ~UsbBackend() = default;
  // Null when no device with that path is present or it cannot be opened.
  virtual std::unique_ptr<UsbDevice> Open(const std::string& path) = 0;
};

}  // namespace kestrune
