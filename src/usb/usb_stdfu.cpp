#include "usb/usb_stdfu.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <vector>

#include "usb/usb_descriptors.h"

namespace kestrune {
namespace {

constexpr std::uint8_t kStandardIn = 0x80;
constexpr std::uint8_t kClassOut = 0x21;  // class request to an interface
constexpr std::uint8_t kClassIn = 0xA1;
constexpr std::uint8_t kGetDescriptor = 6;

enum DfuRequest : std::uint8_t {
  DFU_DNLOAD = 1,
  DFU_UPLOAD = 2,
  DFU_GETSTATUS = 3,
  DFU_CLRSTATUS = 4,
  DFU_GETSTATE = 5,
  DFU_ABORT = 6,
};

constexpr std::uint32_t kMaxBlock = 2048;
constexpr std::uint16_t kMaxStringDescriptor = 255;
constexpr std::uint16_t kEnglishUs = 0x0409;
constexpr std::size_t kDeviceDescriptorSize = 18;
constexpr std::size_t kConfigurationHeaderSize = 9;
constexpr std::size_t kStatusSize = 6;

// The STDFU result of a transfer that moved the bytes it had to (`ok`) or ended as `result`.
std::uint32_t Result(bool ok, UsbResult result) {
  if (ok) return STDFU_NOERROR;
  if (result == UsbResult::NoDevice) return STDFU_ERROR_GONE;
  return result == UsbResult::Timeout ? STDFU_ERROR_TIMEOUT : STDFU_ERROR;
}

}  // namespace

// One open device. Used by one thread at a time (the handle's contract).
class UsbStdfuLibrary::Connection {
 public:
  Connection(std::unique_ptr<UsbDevice> device, Clock& clock, const UsbStdfuSettings& settings)
      : m_device(std::move(device)), m_clock(clock), m_settings(settings) {}

  std::uint8_t interfaceNumber = 0;

  // One control transfer; true when it succeeded and moved exactly `setup.wLength` bytes, or at
  // least `minimum` bytes when that is given. A device found gone stays gone for this handle.
  bool Transfer(const UsbSetup& setup, std::uint8_t* data,
                std::optional<std::uint32_t> minimum = std::nullopt,
                std::uint32_t* moved = nullptr) {
    if (m_last == UsbResult::NoDevice) return false;
    WaitWhileDeviceBusy();
    const bool status = setup.bmRequestType == kClassIn && setup.bRequest == DFU_GETSTATUS;
    const UsbTransfer transfer = m_device->ControlTransfer(
        setup, data, status ? m_settings.statusTimeoutMs : m_settings.requestTimeoutMs);
    m_last = transfer.result;
    if (moved != nullptr) {
      *moved = transfer.length;
    }
    return transfer.result == UsbResult::Ok && transfer.length <= setup.wLength &&
           transfer.length >= minimum.value_or(setup.wLength);
  }

  // The STDFU result of the last transfer, which moved what it had to when `ok`.
  std::uint32_t Outcome(bool ok) const { return Result(ok, m_last); }

  std::uint32_t ClassOut(DfuRequest request, std::uint16_t value, const std::uint8_t* data,
                         std::uint32_t length) {
    std::copy_n(data, length, m_scratch.begin());
    return Outcome(
        Transfer({kClassOut, request, value, interfaceNumber, static_cast<std::uint16_t>(length)},
                 m_scratch.data()));
  }

  std::uint32_t ClassIn(DfuRequest request, std::uint16_t value, std::uint8_t* data,
                        std::uint32_t length, std::uint32_t* received = nullptr) {
    return Outcome(Transfer(
        {kClassIn, request, value, interfaceNumber, static_cast<std::uint16_t>(length)}, data,
        received != nullptr ? std::optional<std::uint32_t>(0) : std::nullopt, received));
  }

  // GET_DESCRIPTOR: the bytes the device sent (up to `length`), or nothing on failure.
  std::optional<std::vector<std::uint8_t>> Descriptor(std::uint8_t type, std::uint8_t index,
                                                      std::uint16_t language,
                                                      std::uint16_t length) {
    std::vector<std::uint8_t> bytes(length);
    std::uint32_t moved = 0;
    const UsbSetup setup{kStandardIn, kGetDescriptor, static_cast<std::uint16_t>(type << 8 | index),
                         language, length};
    if (!Transfer(setup, bytes.data(), 0, &moved)) {
      return std::nullopt;
    }
    bytes.resize(moved);
    return bytes;
  }

  std::optional<std::vector<std::uint8_t>> Configuration(std::uint8_t index) {
    const auto header =
        Descriptor(kConfigurationDescriptorType, index, 0, kConfigurationHeaderSize);
    if (!header || header->size() < kConfigurationHeaderSize ||
        (*header)[1] != kConfigurationDescriptorType) {
      return std::nullopt;
    }
    const std::uint16_t total = static_cast<std::uint16_t>((*header)[2] | (*header)[3] << 8);
    if (total < kConfigurationHeaderSize) {
      return std::nullopt;
    }
    return Descriptor(kConfigurationDescriptorType, index, 0, total);
  }

  std::uint16_t Language() {
    if (!m_language) {
      const auto table = Descriptor(kStringDescriptorType, 0, 0, kMaxStringDescriptor);
      m_language = (table ? FirstLanguageId(*table) : std::nullopt).value_or(kEnglishUs);
    }
    return *m_language;
  }

  std::uint32_t SetAlternate(std::uint8_t interface, std::uint8_t alternate) {
    if (m_last == UsbResult::NoDevice) return STDFU_ERROR_GONE;
    WaitWhileDeviceBusy();
    m_last = m_device->SetAlternateSetting(interface, alternate);
    return Outcome(m_last == UsbResult::Ok);
  }

  // A device busy with flash work (dfuDNBUSY) names the time before it may be asked again.
  void NoteStatus(const DfuStatus& status) {
    if (status.bState == dfuDNBUSY) {
      m_busyFrom = m_clock.TickCount();
      m_busyMs = std::min(status.PollTimeout(), m_settings.maxPollWaitMs);
    }
  }

 private:
  void WaitWhileDeviceBusy() {
    if (m_busyMs == 0) {
      return;
    }
    const std::uint32_t elapsed = m_clock.TickCount() - m_busyFrom;
    if (elapsed < m_busyMs) {
      m_clock.Sleep(m_busyMs - elapsed);
    }
    m_busyMs = 0;
  }

  std::unique_ptr<UsbDevice> m_device;
  Clock& m_clock;
  const UsbStdfuSettings& m_settings;
  std::optional<std::uint16_t> m_language;
  std::uint32_t m_busyFrom = 0;
  std::uint32_t m_busyMs = 0;
  std::array<std::uint8_t, kMaxBlock> m_scratch{};
  UsbResult m_last = UsbResult::Ok;
};

UsbStdfuLibrary::UsbStdfuLibrary(UsbBackend& backend, Clock& clock, UsbStdfuSettings settings)
    : m_backend(backend), m_clock(clock), m_settings(settings) {}

UsbStdfuLibrary::~UsbStdfuLibrary() = default;

UsbStdfuLibrary::Connection* UsbStdfuLibrary::Find(const DfuHandle* handle) {
  if (handle == nullptr) {
    return nullptr;
  }
  std::lock_guard lock(m_mutex);
  const auto it = m_connections.find(reinterpret_cast<std::uintptr_t>(*handle));
  return it == m_connections.end() ? nullptr : it->second.get();
}

std::uint32_t UsbStdfuLibrary::STDFU_Open(const char* path, DfuHandle* handle) {
  if (path == nullptr || handle == nullptr) {
    return STDFU_ERROR;
  }
  std::unique_ptr<UsbDevice> device = m_backend.Open(path);
  if (!device) {
    return STDFU_ERROR;
  }
  std::lock_guard lock(m_mutex);
  const std::uintptr_t key = m_nextKey++;
  m_connections.emplace(key, std::make_unique<Connection>(std::move(device), m_clock, m_settings));
  *handle = reinterpret_cast<DfuHandle>(key);
  return STDFU_NOERROR;
}

std::uint32_t UsbStdfuLibrary::STDFU_Close(DfuHandle* handle) {
  if (handle == nullptr) {
    return STDFU_ERROR;
  }
  std::unique_ptr<Connection> closing;  // released outside the lock
  {
    std::lock_guard lock(m_mutex);
    const auto it = m_connections.find(reinterpret_cast<std::uintptr_t>(*handle));
    if (it == m_connections.end()) {
      return STDFU_ERROR;
    }
    closing = std::move(it->second);
    m_connections.erase(it);
  }
  *handle = nullptr;
  return STDFU_NOERROR;
}

std::uint32_t UsbStdfuLibrary::STDFU_GetDeviceDescriptor(DfuHandle* handle,
                                                         std::uint8_t* descriptor18) {
  Connection* connection = Find(handle);
  if (connection == nullptr || descriptor18 == nullptr) {
    return STDFU_ERROR;
  }
  const auto bytes = connection->Descriptor(kDeviceDescriptorType, 0, 0, kDeviceDescriptorSize);
  if (!bytes || bytes->size() != kDeviceDescriptorSize || (*bytes)[1] != kDeviceDescriptorType) {
    return STDFU_ERROR;
  }
  std::copy(bytes->begin(), bytes->end(), descriptor18);
  return STDFU_NOERROR;
}

std::uint32_t UsbStdfuLibrary::STDFU_GetDFUDescriptor(DfuHandle* handle,
                                                      std::uint32_t* dfuInterface,
                                                      std::uint32_t* alternateCount,
                                                      std::uint8_t* descriptor9) {
  Connection* connection = Find(handle);
  if (connection == nullptr || dfuInterface == nullptr || alternateCount == nullptr ||
      descriptor9 == nullptr) {
    return STDFU_ERROR;
  }
  const auto configuration = connection->Configuration(0);
  const auto dfu = configuration ? FindDfuInterface(*configuration) : std::nullopt;
  if (!dfu) {
    return STDFU_ERROR;
  }
  *dfuInterface = dfu->interfaceNumber;
  *alternateCount = dfu->alternateCount;
  std::copy(dfu->functional.begin(), dfu->functional.end(), descriptor9);
  return STDFU_NOERROR;
}

std::uint32_t UsbStdfuLibrary::STDFU_GetInterfaceDescriptor(DfuHandle* handle,
                                                            std::uint32_t configuration,
                                                            std::uint32_t interfaceNumber,
                                                            std::uint32_t alternate,
                                                            std::uint8_t* descriptor9) {
  Connection* connection = Find(handle);
  if (connection == nullptr || descriptor9 == nullptr || configuration > 0xFF ||
      interfaceNumber > 0xFF || alternate > 0xFF) {
    return STDFU_ERROR;
  }
  const auto bytes = connection->Configuration(static_cast<std::uint8_t>(configuration));
  const auto found =
      bytes ? FindInterfaceDescriptor(*bytes, static_cast<std::uint8_t>(interfaceNumber),
                                      static_cast<std::uint8_t>(alternate))
            : std::nullopt;
  if (!found) {
    return STDFU_ERROR;
  }
  std::copy(found->begin(), found->end(), descriptor9);
  return STDFU_NOERROR;
}

std::uint32_t UsbStdfuLibrary::STDFU_GetStringDescriptor(DfuHandle* handle, std::uint32_t index,
                                                         char* buffer, std::uint32_t size) {
  if (buffer == nullptr || size == 0) {
    return STDFU_ERROR;
  }
  buffer[0] = '\0';
  Connection* connection = Find(handle);
  // Index 0 is the language table, not a string.
  if (connection == nullptr || index == 0 || index > 0xFF) {
    return STDFU_ERROR;
  }
  const std::uint16_t language = connection->Language();
  const auto bytes = connection->Descriptor(kStringDescriptorType, static_cast<std::uint8_t>(index),
                                            language, kMaxStringDescriptor);
  const auto text = bytes ? StringDescriptorText(*bytes) : std::nullopt;
  if (!text) {
    return STDFU_ERROR;
  }
  const std::size_t length = std::min<std::size_t>(text->size(), size - 1);
  std::memcpy(buffer, text->data(), length);
  buffer[length] = '\0';
  return STDFU_NOERROR;
}

std::uint32_t UsbStdfuLibrary::STDFU_SelectCurrentConfiguration(DfuHandle* handle,
                                                                std::uint32_t configuration,
                                                                std::uint32_t interfaceNumber,
                                                                std::uint32_t alternate) {
  Connection* connection = Find(handle);
  // The transport opens the device in its first configuration; there is no other to select.
  if (connection == nullptr || configuration != 0 || interfaceNumber > 0xFF || alternate > 0xFF) {
    return STDFU_ERROR;
  }
  const auto interface = static_cast<std::uint8_t>(interfaceNumber);
  const std::uint32_t result =
      connection->SetAlternate(interface, static_cast<std::uint8_t>(alternate));
  if (result == STDFU_NOERROR) connection->interfaceNumber = interface;
  return result;
}

std::uint32_t UsbStdfuLibrary::STDFU_Dnload(DfuHandle* handle, const std::uint8_t* buffer,
                                            std::uint32_t length, std::uint16_t block) {
  Connection* connection = Find(handle);
  if (connection == nullptr || length > kMaxBlock || (buffer == nullptr && length != 0)) {
    return STDFU_ERROR;
  }
  return connection->ClassOut(DFU_DNLOAD, block, buffer, length);
}

std::uint32_t UsbStdfuLibrary::STDFU_Upload(DfuHandle* handle, std::uint8_t* buffer,
                                            std::uint32_t length, std::uint16_t block,
                                            std::uint32_t* received) {
  Connection* connection = Find(handle);
  if (connection == nullptr || length > kMaxBlock || (buffer == nullptr && length != 0)) {
    return STDFU_ERROR;
  }
  std::uint32_t moved = 0;
  const std::uint32_t result = connection->ClassIn(DFU_UPLOAD, block, buffer, length,
                                                   received != nullptr ? &moved : nullptr);
  if (result == STDFU_NOERROR && received != nullptr) *received = moved;
  return result;
}

std::uint32_t UsbStdfuLibrary::STDFU_Getstatus(DfuHandle* handle, DfuStatus* status) {
  Connection* connection = Find(handle);
  if (connection == nullptr || status == nullptr) {
    return STDFU_ERROR;
  }
  std::array<std::uint8_t, kStatusSize> bytes{};
  const std::uint32_t result = connection->ClassIn(DFU_GETSTATUS, 0, bytes.data(), bytes.size());
  if (result != STDFU_NOERROR) {
    return result;
  }
  status->bStatus = bytes[0];
  std::copy_n(bytes.begin() + 1, 3, status->bwPollTimeout);
  status->bState = bytes[4];
  status->iString = bytes[5];
  connection->NoteStatus(*status);
  return STDFU_NOERROR;
}

std::uint32_t UsbStdfuLibrary::STDFU_Getstate(DfuHandle* handle, std::uint8_t* state) {
  Connection* connection = Find(handle);
  if (connection == nullptr || state == nullptr) {
    return STDFU_ERROR;
  }
  std::uint8_t byte = 0;
  const std::uint32_t result = connection->ClassIn(DFU_GETSTATE, 0, &byte, 1);
  if (result != STDFU_NOERROR) {
    return result;
  }
  *state = byte;
  return STDFU_NOERROR;
}

std::uint32_t UsbStdfuLibrary::STDFU_Clrstatus(DfuHandle* handle) {
  Connection* connection = Find(handle);
  return connection == nullptr ? STDFU_ERROR : connection->ClassOut(DFU_CLRSTATUS, 0, nullptr, 0);
}

std::uint32_t UsbStdfuLibrary::STDFU_Abort(DfuHandle* handle) {
  Connection* connection = Find(handle);
  return connection == nullptr ? STDFU_ERROR : connection->ClassOut(DFU_ABORT, 0, nullptr, 0);
}

}  // namespace kestrune
