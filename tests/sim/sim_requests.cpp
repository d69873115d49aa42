#include "sim_requests.h"

#include "dfu/stdfu.h"

namespace kestrune::simtest {

namespace {
constexpr std::uint32_t kTimeoutMs = 5000;
}

std::vector<std::uint8_t> AddressCommand(std::uint8_t command, std::uint32_t address) {
  return {command, static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(address >> 8),
          static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address >> 24)};
}

Requests::Requests(SimBench& bench, std::size_t device, Clock& clock)
    : m_bench(bench), m_index(device), m_clock(clock), m_device(bench.Open(bench.PathOf(device))) {}

UsbResult Requests::Reopen() {
  m_device = m_bench.Open(m_bench.PathOf(m_index));
  return m_device ? UsbResult::Ok : UsbResult::NoDevice;
}

UsbResult Requests::Dnload(std::uint16_t block, std::vector<std::uint8_t> bytes) {
  const UsbSetup setup{0x21, 1, block, 0, static_cast<std::uint16_t>(bytes.size())};
  return m_device->ControlTransfer(setup, bytes.data(), kTimeoutMs).result;
}

UsbTransfer Requests::Upload(std::uint16_t block, std::uint16_t length,
                             std::vector<std::uint8_t>& out) {
  out.assign(length, 0);
  const UsbSetup setup{0xA1, 2, block, 0, length};
  const UsbTransfer t = m_device->ControlTransfer(setup, out.data(), kTimeoutMs);
  out.resize(t.result == UsbResult::Ok ? t.length : 0);
  return t;
}

std::optional<Status> Requests::GetStatus() {
  std::uint8_t b[6] = {};
  const UsbTransfer t = m_device->ControlTransfer({0xA1, 3, 0, 0, 6}, b, kTimeoutMs);
  if (t.result != UsbResult::Ok || t.length != 6) return std::nullopt;
  return Status{b[0], static_cast<std::uint32_t>(b[1] | b[2] << 8 | b[3] << 16), b[4]};
}

std::optional<std::uint8_t> Requests::GetState() {
  std::uint8_t state = 0xEE;
  const UsbTransfer t = m_device->ControlTransfer({0xA1, 5, 0, 0, 1}, &state, kTimeoutMs);
  if (t.result != UsbResult::Ok || t.length != 1) return std::nullopt;
  return state;
}

UsbResult Requests::ClrStatus() {
  return Request(0x21, 4);
}
UsbResult Requests::Abort() {
  return Request(0x21, 6);
}

UsbResult Requests::Request(std::uint8_t bmRequestType, std::uint8_t bRequest,
                            std::uint16_t wValue) {
  return m_device->ControlTransfer({bmRequestType, bRequest, wValue, 0, 0}, nullptr, kTimeoutMs)
      .result;
}

std::vector<std::uint8_t> Requests::Descriptor(std::uint8_t type, std::uint8_t index,
                                               std::uint16_t length) {
  std::vector<std::uint8_t> out(length);
  const UsbSetup setup{0x80, 6, static_cast<std::uint16_t>(type << 8 | index), 0, length};
  const UsbTransfer t = m_device->ControlTransfer(setup, out.data(), kTimeoutMs);
  out.resize(t.result == UsbResult::Ok ? t.length : 0);
  return out;
}

std::optional<Status> Requests::Complete() {
  for (;;) {
    auto status = GetStatus();
    if (!status || status->bState != dfuDNBUSY) return status;
    m_clock.Sleep(status->pollMs);
  }
}

std::optional<Status> Requests::Command(std::vector<std::uint8_t> bytes) {
  return Write(0, std::move(bytes));
}

std::optional<Status> Requests::SetAddress(std::uint32_t address) {
  return Command(AddressCommand(0x21, address));
}

std::optional<Status> Requests::Erase(std::uint32_t address) {
  return Command(AddressCommand(0x41, address));
}

std::optional<Status> Requests::Write(std::uint16_t block, std::vector<std::uint8_t> bytes) {
  if (Dnload(block, std::move(bytes)) != UsbResult::Ok) return std::nullopt;
  return Complete();
}

void Requests::ToIdle() {
  if (GetState() == dfuERROR) ClrStatus();
  if (GetState() != dfuIDLE) Abort();
}

std::vector<std::uint8_t> Requests::Read(std::uint32_t address, std::uint16_t length) {
  ToIdle();
  SetAddress(address);
  Abort();
  std::vector<std::uint8_t> out;
  Upload(2, length, out);
  return out;
}

}  // namespace kestrune::simtest
