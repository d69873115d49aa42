#pragma once
// Speaks raw DFU and DfuSe requests to a simulated device, the way a host would, for the tests.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim/sim_bench.h"
#include "usb/usb_device.h"

namespace kestrune::simtest {

struct Status {
  std::uint8_t bStatus = 0;
  std::uint32_t pollMs = 0;
  std::uint8_t bState = 0;
};

class Requests {
 public:
  Requests(SimBench& bench, std::size_t device, Clock& clock);

  UsbDevice& Device() { return *m_device; }
  UsbResult Reopen();  // a fresh handle to the device's path

  UsbResult Dnload(std::uint16_t block, std::vector<std::uint8_t> bytes);
  UsbTransfer Upload(std::uint16_t block, std::uint16_t length, std::vector<std::uint8_t>& out);
  std::optional<Status> GetStatus();
  std::optional<std::uint8_t> GetState();
  UsbResult ClrStatus();
  UsbResult Abort();
  UsbResult Request(std::uint8_t bmRequestType, std::uint8_t bRequest, std::uint16_t wValue = 0);
  std::vector<std::uint8_t> Descriptor(std::uint8_t type, std::uint8_t index,
                                       std::uint16_t length = 255);
  UsbResult Select(std::uint8_t alternate) { return m_device->SetAlternateSetting(0, alternate); }

  // GETSTATUS until the device is no longer busy, sleeping the poll time it asks for; returns
  // the last status (none when a request failed).
  std::optional<Status> Complete();
  // A command or data download carried to its end; returns the final status.
  std::optional<Status> Command(std::vector<std::uint8_t> bytes);
  std::optional<Status> SetAddress(std::uint32_t address);
  std::optional<Status> Erase(std::uint32_t address);
  std::optional<Status> Write(std::uint16_t block, std::vector<std::uint8_t> bytes);
  // dfuIDLE from any state, as hosts do it.
  void ToIdle();
  // Sets the pointer and uploads `length` bytes as block 2.
  std::vector<std::uint8_t> Read(std::uint32_t address, std::uint16_t length);

 private:
  SimBench& m_bench;
  std::size_t m_index;
  Clock& m_clock;
  std::unique_ptr<UsbDevice> m_device;
};

std::vector<std::uint8_t> AddressCommand(std::uint8_t command, std::uint32_t address);

}  // namespace kestrune::simtest
