#include "sim/sim_faults.h"

namespace kestrune {

std::optional<SimRequest> ClassifyRequest(const UsbSetup& setup) {
  const int type = setup.bmRequestType & 0x60;
  if (type == 0x20) {
    switch (setup.bRequest) {
      case 0:
        return SimRequest::Detach;
      case 1:
        return SimRequest::Dnload;
      case 2:
        return SimRequest::Upload;
      case 3:
        return SimRequest::GetStatus;
      case 4:
        return SimRequest::ClrStatus;
      case 5:
        return SimRequest::GetState;
      case 6:
        return SimRequest::Abort;
      default:
        return std::nullopt;
    }
  }
  if (type == 0x00 && setup.bRequest == 6) return SimRequest::GetDescriptor;
  if (type == 0x00 && setup.bRequest == 11) return SimRequest::SetInterface;
  return std::nullopt;
}

const SimFault* SimFaults::Next(SimRequest kind) {
  const std::uint32_t count = ++m_counts[static_cast<std::size_t>(kind)];
  for (const SimFault& f : m_faults) {
    if (f.action == SimFaultAction::Corrupt || f.request != kind) continue;
    if (count >= f.nth && count - f.nth < f.count) return &f;
  }
  return nullptr;
}

std::uint8_t SimFaults::CorruptionAt(std::uint32_t address) const {
  std::uint8_t mask = 0;
  for (const SimFault& f : m_faults) {
    if (f.action == SimFaultAction::Corrupt && f.address == address) mask ^= f.xorMask;
  }
  return mask;
}

}  // namespace kestrune
