#include "sim/sim_boot_loader.h"

#include <algorithm>
#include <array>

#include "sim/sim_descriptors.h"

namespace kestrune {
namespace {

// The answer of GETSTATUS.
constexpr std::uint32_t kStatusLength = 6;

// Microseconds from `now` until `moment`; 0 or less once it has come.
std::int64_t UsUntil(std::uint32_t now, SimMoment moment) {
  return std::int64_t{static_cast<std::int32_t>(moment.tick - now)} * 1000 + moment.us;
}

SimMoment After(SimMoment start, std::uint32_t us) {
  const std::uint64_t total = std::uint64_t{start.us} + us;
  return {start.tick + static_cast<std::uint32_t>(total / 1000),
          static_cast<std::uint32_t>(total % 1000)};
}

std::uint32_t Address(const std::vector<std::uint8_t>& bytes) {
  return bytes[1] | (bytes[2] << 8) | (bytes[3] << 16) |
         (static_cast<std::uint32_t>(bytes[4]) << 24);
}

UsbTransfer Answer(std::uint8_t* data, const std::uint8_t* bytes, std::size_t size,
                   std::uint16_t wLength) {
  const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(size, wLength));
  std::copy(bytes, bytes + n, data);
  return {UsbResult::Ok, n};
}

constexpr UsbTransfer kPlainStall{UsbResult::Stall, 0};

}  // namespace

SimBootLoader::SimBootLoader(const SimDeviceConfig& config, std::string& error)
    : m_config(config), m_memory(config, error), m_faults(config.faults) {}

void SimBootLoader::Restart() {
  m_state = dfuIDLE;
  m_status = OK;
  m_alternate = 0;
  m_pointer = kSimFlashStart;
  m_download.clear();
  m_failDownloadWith.reset();
  m_downloadFault.reset();
  m_workDone = false;
  m_flashFreeAt.reset();
  m_resetAt.reset();
  m_heldUs = 0;
}

UsbTransfer SimBootLoader::Stall(std::uint8_t status) {
  m_state = dfuERROR;
  m_status = status;
  return kPlainStall;
}

UsbTransfer SimBootLoader::Handle(const UsbSetup& setup, std::uint8_t* data, std::uint32_t now,
                                  const SimFault* fault) {
  const UsbTransfer answer = Respond(setup, data, now, fault);
  if (fault == nullptr || answer.result != UsbResult::Ok || (setup.bmRequestType & 0x80) == 0) {
    return answer;
  }
  return Shape(answer, setup, data, *fault);
}

// The faults that change an answer on its way to the host, not the device.
UsbTransfer SimBootLoader::Shape(UsbTransfer answer, const UsbSetup& setup, std::uint8_t* data,
                                 const SimFault& fault) {
  const bool status = ClassifyRequest(setup) == SimRequest::GetStatus && answer.length >= 6;
  switch (fault.action) {
    case SimFaultAction::Garble:
      if (fault.offset < answer.length) data[fault.offset] ^= fault.xorMask;
      break;
    case SimFaultAction::Short:
      answer.length = std::min(answer.length, fault.bytes);
      break;
    case SimFaultAction::Oversized:
      answer.length = setup.wLength + 1u;  // the transport reports more than fits
      break;
    case SimFaultAction::WrongState:
      if (status) data[4] = fault.state;
      break;
    case SimFaultAction::PollTimeout:
      if (status) {
        data[1] = static_cast<std::uint8_t>(fault.pollMs);
        data[2] = static_cast<std::uint8_t>(fault.pollMs >> 8);
        data[3] = static_cast<std::uint8_t>(fault.pollMs >> 16);
      }
      break;
    default:
      break;
  }
  return answer;
}

UsbTransfer SimBootLoader::Respond(const UsbSetup& setup, std::uint8_t* data, std::uint32_t now,
                                   const SimFault* fault) {
  if (m_state == dfuDNBUSY && UsUntil(now, m_busyUntil) <= 0) {
    m_state = dfuDNLOAD_SYNC;
    m_workDone = true;
  }
  std::optional<std::uint8_t> failDownloadWith;
  if (fault != nullptr && fault->action == SimFaultAction::Stall) return Stall();
  if (fault != nullptr && fault->action == SimFaultAction::DfuError) {
    if (ClassifyRequest(setup) == SimRequest::Dnload) {
      failDownloadWith = fault->status;
    } else {
      m_state = dfuERROR;
      m_status = fault->status;
    }
  }
  const int type = setup.bmRequestType & 0x60;
  if (type == 0x00) return HandleStandard(setup, data);
  if (type != 0x20 || (setup.wIndex & 0xFF) != 0) return kPlainStall;
  const bool in = (setup.bmRequestType & 0x80) != 0;
  switch (setup.bRequest) {
    case 0:  // DETACH: nothing to do, the device is in DFU mode already
      return in ? Stall() : UsbTransfer{UsbResult::Ok, 0};
    case 1:
      if (in) return Stall();
      m_failDownloadWith = failDownloadWith;
      m_downloadFault.reset();
      if (fault != nullptr &&
          (fault->action == SimFaultAction::Partial || fault->action == SimFaultAction::Lost)) {
        m_downloadFault = *fault;
      }
      return HandleDnload(setup, data);
    case 2:
      return in ? HandleUpload(setup, data) : Stall();
    case 3:
      return in ? HandleGetStatus(setup, data, now) : Stall();
    case 4:
      if (in || m_state != dfuERROR) return Stall();
      m_state = dfuIDLE;
      m_status = OK;
      return {UsbResult::Ok, 0};
    case 5: {
      if (!in) return Stall();
      const std::uint8_t state = m_state;
      return Answer(data, &state, 1, setup.wLength);
    }
    case 6:
      if (in) return Stall();
      if (m_state != dfuIDLE && m_state != dfuDNLOAD_SYNC && m_state != dfuDNLOAD_IDLE &&
          m_state != dfuUPLOAD_IDLE) {
        return Stall();
      }
      m_state = dfuIDLE;
      m_download.clear();
      return {UsbResult::Ok, 0};
    default:
      return Stall();
  }
}

UsbTransfer SimBootLoader::HandleStandard(const UsbSetup& setup, std::uint8_t* data) {
  const std::uint16_t request =
      static_cast<std::uint16_t>(setup.bmRequestType << 8 | setup.bRequest);
  switch (request) {
    case 0x8006: {  // GET_DESCRIPTOR
      const auto kind = static_cast<std::uint8_t>(setup.wValue >> 8);
      const auto index = static_cast<std::uint8_t>(setup.wValue);
      std::optional<std::vector<std::uint8_t>> d;
      if (kind == 1 && index == 0) d = SimDeviceDescriptor(m_config);
      if (kind == 2 && index == 0) d = SimConfigurationDescriptor(m_config);
      if (kind == 3) d = SimStringDescriptor(m_config, index);
      if (!d) return kPlainStall;
      return Answer(data, d->data(), d->size(), setup.wLength);
    }
    case 0x010B:  // SET_INTERFACE
      if (setup.wIndex != 0 || setup.wValue >= m_config.interfaceStrings.size()) return kPlainStall;
      m_alternate = static_cast<std::uint8_t>(setup.wValue);
      return {UsbResult::Ok, 0};
    case 0x810A:  // GET_INTERFACE
      return setup.wIndex == 0 ? Answer(data, &m_alternate, 1, setup.wLength) : kPlainStall;
    case 0x0009:  // SET_CONFIGURATION
      return setup.wValue <= 1 ? UsbTransfer{UsbResult::Ok, 0} : kPlainStall;
    case 0x8008: {  // GET_CONFIGURATION
      const std::uint8_t configuration = 1;
      return Answer(data, &configuration, 1, setup.wLength);
    }
    case 0x8000: {  // GET_STATUS of the device: self-powered
      const std::uint8_t status[2] = {0x01, 0x00};
      return Answer(data, status, 2, setup.wLength);
    }
    default:
      return kPlainStall;
  }
}

UsbTransfer SimBootLoader::HandleDnload(const UsbSetup& setup, const std::uint8_t* data) {
  if (m_state != dfuIDLE && m_state != dfuDNLOAD_IDLE) return Stall();
  if (setup.wLength > kSimTransferSize || setup.wValue == 1) return Stall();
  if (setup.wLength == 0) {
    // Leave DFU mode: the next GETSTATUS starts the application.
    if (m_state != dfuDNLOAD_IDLE) return Stall();
    m_state = dfuMANIFEST_SYNC;
    return {UsbResult::Ok, 0};
  }
  m_block = setup.wValue;
  m_download.assign(data, data + setup.wLength);
  m_workDone = false;
  m_state = dfuDNLOAD_SYNC;
  return {UsbResult::Ok, setup.wLength};
}

UsbTransfer SimBootLoader::HandleUpload(const UsbSetup& setup, std::uint8_t* data) {
  if (m_state != dfuIDLE && m_state != dfuUPLOAD_IDLE) return Stall();
  if (setup.wLength == 0 || setup.wLength > kSimTransferSize || setup.wValue == 1) return Stall();
  std::uint32_t count = 0;
  if (setup.wValue == 0) {
    const std::array<std::uint8_t, 4> commands = {0x00, 0x21, 0x41, 0x92};
    count = Answer(data, commands.data(), commands.size(), setup.wLength).length;
  } else {
    const std::uint64_t address =
        m_pointer + static_cast<std::uint64_t>(setup.wValue - 2) * kSimTransferSize;
    if (address > 0xFFFFFFFFu) return Stall(errTARGET);
    const auto start = static_cast<std::uint32_t>(address);
    if (Refused() || (m_alternate == 0 && m_memory.IsFlash(start) && m_memory.ReadProtected())) {
      return Stall(errVENDOR);
    }
    const auto read = m_memory.Read(m_alternate, start, setup.wLength, data);
    if (!read) return Stall(errTARGET);
    count = *read;
    if (count < setup.wLength && m_alternate == 2 &&
        m_config.strictness.otpOverrun == SimOtpOverrun::Stall) {
      return Stall(errTARGET);
    }
    for (std::uint32_t i = 0; i < count; ++i) data[i] ^= m_faults.CorruptionAt(start + i);
  }
  // A short frame ends the upload.
  m_state = count < setup.wLength ? dfuIDLE : dfuUPLOAD_IDLE;
  return {UsbResult::Ok, count};
}

UsbTransfer SimBootLoader::HandleGetStatus(const UsbSetup& setup, std::uint8_t* data,
                                           std::uint32_t now) {
  std::uint32_t pollMs = 0;
  switch (m_state) {
    case dfuDNLOAD_SYNC:
      if (m_workDone) {
        FinishWork();
      } else {
        pollMs = StartWork(now);
      }
      break;
    case dfuDNBUSY:
      if (!m_config.strictness.holdBusyAnswer) {
        pollMs = PollMs(now);
        break;
      }
      // The answer waits for the flash, then tells how the work ended.
      m_heldUs = static_cast<std::uint32_t>(std::max<std::int64_t>(UsUntil(now, m_busyUntil), 0));
      m_workDone = true;
      FinishWork();
      break;
    case dfuMANIFEST_SYNC:
      // Not manifestation tolerant: the boot loader jumps to the application and is gone.
      m_state = dfuMANIFEST;
      m_resetAt = now;
      break;
    default:
      break;
  }
  pollMs = std::min<std::uint32_t>(pollMs, 0xFFFFFF);
  const std::uint8_t status[6] = {m_status,
                                  static_cast<std::uint8_t>(pollMs),
                                  static_cast<std::uint8_t>(pollMs >> 8),
                                  static_cast<std::uint8_t>(pollMs >> 16),
                                  static_cast<std::uint8_t>(m_state),
                                  0};
  return Answer(data, status, sizeof status, setup.wLength);
}

std::uint32_t SimBootLoader::StartWork(std::uint32_t now) {
  bool resets = false;
  std::uint32_t workUs = 0;
  m_workStatus = m_failDownloadWith ? *m_failDownloadWith : RunDownload(workUs, resets);
  m_failDownloadWith.reset();
  m_downloadFault.reset();
  if (m_workStatus != OK && m_config.strictness.errorAtFirstStatus) {
    m_workDone = true;
    FinishWork();
    return 0;
  }
  // Flash work that a host cut short with another request still runs to its end first.
  const SimMoment start =
      m_flashFreeAt && UsUntil(now, *m_flashFreeAt) > 0 ? *m_flashFreeAt : SimMoment{now, 0};
  m_busyUntil = After(start, workUs);
  m_flashFreeAt = m_busyUntil;
  // The chip resets on the first tick at which the work is over.
  if (resets && m_workStatus == OK) m_resetAt = After(m_busyUntil, 999).tick;
  m_state = dfuDNBUSY;
  if (!m_config.strictness.holdBusyAnswer) return PollMs(now);
  // The boot loader answers once the flash is done, with its usual poll time after a command;
  // after a data block the work is over, and some parts say so with 0.
  m_heldUs = static_cast<std::uint32_t>(std::max<std::int64_t>(UsUntil(now, m_busyUntil), 0));
  return m_block == 0 ? m_config.strictness.busyPollMs : 0;
}

void SimBootLoader::FinishWork() {
  if (m_workStatus != OK) {
    m_state = dfuERROR;
    m_status = m_workStatus;
  } else {
    m_state = dfuDNLOAD_IDLE;
  }
}

bool SimBootLoader::Refused() const {
  return m_config.strictness.protectAllAlternates && m_memory.ReadProtected();
}

std::uint32_t SimBootLoader::PollMs(std::uint32_t now) const {
  // The work goes on while the answer travels; the host waits whole milliseconds.
  const std::int64_t left =
      UsUntil(now, m_busyUntil) - SimTransferUs(m_config.timing, kStatusLength);
  return left <= 0 ? 0 : static_cast<std::uint32_t>((left + 999) / 1000);
}

std::uint8_t SimBootLoader::RunDownload(std::uint32_t& workUs, bool& resets) {
  if (m_block == 0) return RunCommand(workUs, resets);
  const std::uint64_t address =
      m_pointer + static_cast<std::uint64_t>(m_block - 2) * kSimTransferSize;
  if (address + m_download.size() - 1 > 0xFFFFFFFFu) return errTARGET;
  const auto start = static_cast<std::uint32_t>(address);
  const auto length = static_cast<std::uint32_t>(m_download.size());
  // A block that the flash controller takes only in part, or not at all, while it says done.
  std::uint32_t written = length;
  if (m_downloadFault) {
    written = m_downloadFault->action == SimFaultAction::Lost
                  ? 0
                  : std::min(length, m_downloadFault->bytes);
  }
  if (Refused()) return errVENDOR;
  const bool wasProtected = m_memory.ReadProtected();
  if (written > 0) {
    const std::uint8_t status = m_memory.Write(m_alternate, start, m_download.data(), written);
    if (status != OK) return status;
  }
  resets = m_alternate == 1;
  workUs = resets ? m_config.timing.optionWriteMs * 1000 : SimProgramUs(m_config.timing, length);
  // Leaving read protection level 1 erases the flash first.
  if (wasProtected && !m_memory.ReadProtected()) {
    workUs += m_config.timing.massEraseMs * 1000 * (m_config.flashKiB == 2048 ? 2 : 1);
  }
  return OK;
}

std::uint8_t SimBootLoader::RunCommand(std::uint32_t& workUs, bool& resets) {
  const std::size_t length = m_download.size();
  const std::uint8_t command = m_download[0];
  const std::uint32_t banks = m_config.flashKiB == 2048 ? 2 : 1;
  if (command == 0x21 && length == 5) {
    const std::uint32_t address = Address(m_download);
    if (Refused()) return errVENDOR;
    if (!m_memory.Contains(m_alternate, address)) return errTARGET;
    if (m_alternate == 0 && m_memory.ReadProtected()) return errVENDOR;
    m_pointer = address;
    workUs = m_config.timing.setAddressMs * 1000;
    return OK;
  }
  if (command == 0x41 && length == 1) {
    if (m_alternate != 0) return errTARGET;
    const std::uint8_t status = m_memory.MassErase();
    workUs = status == OK ? m_config.timing.massEraseMs * banks * 1000 : 0;
    return status;
  }
  if (command == 0x41 && length == 5) {
    const std::uint32_t address = Address(m_download);
    const auto sector = m_memory.SectorAt(address);
    if (m_alternate != 0 || !sector) return errTARGET;
    const std::uint8_t status = m_memory.EraseSectorAt(address);
    if (status != OK) return status;
    workUs = SimEraseMs(m_config.timing, sector->size) * 1000;
    return OK;
  }
  if (command == 0x92 && length == 1) {
    const std::uint8_t status = m_memory.Unprotect();
    workUs = m_config.timing.massEraseMs * banks * 1000;
    resets = true;
    return status;
  }
  return errUNKNOWN;
}

}  // namespace kestrune
