#pragma once
// Counts the requests of each kind and says which injected fault, if any, hits the current one.

#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "sim/sim_config.h"
#include "usb/usb_device.h"

namespace kestrune {

// The kind of a control request as faults count it; none for requests faults do not count.
std::optional<SimRequest> ClassifyRequest(const UsbSetup& setup);

class SimFaults {
 public:
  explicit SimFaults(std::vector<SimFault> faults = {}) : m_faults(std::move(faults)) {}
  void Add(const SimFault& fault) { m_faults.push_back(fault); }
  // Counts one request of `kind`; returns the first fault whose window holds that count.
  const SimFault* Next(SimRequest kind);
  // Requests of each kind counted so far.
  const std::array<std::uint32_t, kSimRequestKinds>& Counts() const { return m_counts; }
  // XOR mask for a read-back byte at `address` (0: the byte is returned as stored).
  std::uint8_t CorruptionAt(std::uint32_t address) const;

 private:
  std::vector<SimFault> m_faults;
  std::array<std::uint32_t, kSimRequestKinds> m_counts{};
};

}  // namespace kestrune
