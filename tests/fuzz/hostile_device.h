#pragma once
// A bus and a device whose every answer is read from a string of bytes: which devices are
// present, whether one opens, and for each control transfer its result, its length and its data.
// The fuzzer writes those bytes; a recorder writes them from a simulated device, for seeds.
//
// Encoding, in the order the host asks:
//   present interfaces  1 byte: 0xFF = cannot be listed, else the count (mod 4)
//   open                1 byte: 0xFF = does not open
//   control transfer    1 byte: bits 0-2 the result (0-3 ok, 4 stall, 5 time-out, 6 gone,
//                       7 error); an answered device-to-host request with bit 3 set has a
//                       2-byte little-endian length next (else it fills wLength), then its data
//   set interface       1 byte: the result as above
// When the bytes are used up the device has left the bus.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "device/device_bus.h"
#include "device/device_identity.h"
#include "platform/clock.h"
#include "usb/usb_device.h"

namespace kestrune::fuzz {

class HostileBench final : public UsbBackend, public DeviceBus {
 public:
  explicit HostileBench(std::span<const std::uint8_t> answers) : m_answers(answers) {}

  std::unique_ptr<UsbDevice> Open(const std::string& path) override;
  std::optional<std::vector<std::string>> PresentInterfaces(const Guid& interfaceClass) override;
  void SetListener(Listener) override {}

  bool Exhausted() const { return m_next >= m_answers.size(); }
  std::uint8_t Byte() { return Exhausted() ? 0 : m_answers[m_next++]; }
  // Copies up to `length` answer bytes and zeros after them.
  void Fill(std::uint8_t* out, std::size_t length);

  // Follows the DfuSe address pointer and keeps what the device last showed at each address, so
  // that a run's claim of success can be held against what the device really answered.
  void NoteRequest(const UsbSetup& setup, const std::uint8_t* data, std::uint32_t length);
  std::optional<std::uint8_t> LastUploadedAt(std::uint32_t address) const;
  // Address and length of every data block the host downloaded.
  const std::vector<std::pair<std::uint32_t, std::uint32_t>>& Downloads() const {
    return m_downloads;
  }

 private:
  std::span<const std::uint8_t> m_answers;
  std::size_t m_next = 0;
  std::uint32_t m_pointer = 0;
  std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> m_uploads;  // address, data
  std::vector<std::pair<std::uint32_t, std::uint32_t>> m_downloads;
};

// Records what `backend` and `bus` (a simulated bench) answer, in the encoding above.
class AnswerRecorder final : public UsbBackend, public DeviceBus {
 public:
  AnswerRecorder(UsbBackend& backend, DeviceBus& bus) : m_backend(backend), m_bus(bus) {}

  std::unique_ptr<UsbDevice> Open(const std::string& path) override;
  std::optional<std::vector<std::string>> PresentInterfaces(const Guid& interfaceClass) override;
  void SetListener(Listener listener) override { m_bus.SetListener(std::move(listener)); }

  std::vector<std::uint8_t> answers;

 private:
  UsbBackend& m_backend;
  DeviceBus& m_bus;
};

struct HostOutcome {
  bool programmed = false;                     // the run said it succeeded
  std::uint32_t flashStart = 0;                // where it wrote the file
  std::optional<std::uint32_t> identityBlock;  // the OTP block an identity was written to
  bool identityWritten = false;                // the write said it was written and read back
  OtpBlock identity{};                         // the record
};

// What an operator does with a device: discover it; when it may be programmed, run the
// programming job with `firmwarePath` into `infosFolder`; when its OTP area was read, give it an
// identity as "MAC setzen" does. Checks on the way that no connection stays open, that the run
// ends as every run must, and that it logged exactly when it succeeded.
HostOutcome OperateDevice(UsbBackend& backend, DeviceBus& bus, Clock& clock,
                          const std::string& firmwarePath, const std::string& infosFolder);

}  // namespace kestrune::fuzz
