#pragma once
// One simulated STM32F4 DFU boot loader at the level of USB control requests: descriptors,
// SET_INTERFACE, the DFU 1.1 state machine with the DfuSe commands on block 0 and data blocks
// from 2, and the memories behind the alternate settings. Not thread-safe: the bench serialises
// every call. Times are ticks of the bench's clock.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "dfu/stdfu.h"
#include "sim/sim_config.h"
#include "sim/sim_faults.h"
#include "sim/sim_memory.h"
#include "usb/usb_device.h"

namespace kestrune {

// A moment on the bench's clock to the microsecond, so that work times add up without rounding:
// `us` microseconds after the tick.
struct SimMoment {
  std::uint32_t tick = 0;
  std::uint32_t us = 0;
};

class SimBootLoader {
 public:
  // `config` must have its serial number and interface strings filled in. On failure (memory
  // images) `error` says why and the boot loader must not be used.
  SimBootLoader(const SimDeviceConfig& config, std::string& error);

  // One control transfer, the device's answer to it. `fault` is the injected fault that hits
  // this request (Stall and DfuError are carried out here), or null.
  UsbTransfer Handle(const UsbSetup& setup, std::uint8_t* data, std::uint32_t now,
                     const SimFault* fault);
  // Power-on or re-registration: dfuIDLE, alternate 0, address pointer at the flash start.
  void Restart();
  // The tick at which the chip resets itself (option-byte write, read unprotect, leaving DFU
  // mode), once such work has been started.
  std::optional<std::uint32_t> ResetAt() const { return m_resetAt; }
  // How long the answer just given was held back (a GETSTATUS while flash work runs); the bench
  // spends it on the clock. Reading it clears it.
  std::uint32_t TakeHeldUs() { return std::exchange(m_heldUs, 0); }

  DfuState State() const { return m_state; }
  std::uint8_t Status() const { return m_status; }
  std::uint8_t Alternate() const { return m_alternate; }
  SimMemory& Memory() { return m_memory; }
  const SimMemory& Memory() const { return m_memory; }
  SimFaults& Faults() { return m_faults; }
  const SimDeviceConfig& Config() const { return m_config; }

 private:
  UsbTransfer Respond(const UsbSetup& setup, std::uint8_t* data, std::uint32_t now,
                      const SimFault* fault);
  UsbTransfer Shape(UsbTransfer answer, const UsbSetup& setup, std::uint8_t* data,
                    const SimFault& fault);
  UsbTransfer Stall(std::uint8_t status = errSTALLEDPKT);
  UsbTransfer HandleStandard(const UsbSetup& setup, std::uint8_t* data);
  UsbTransfer HandleDnload(const UsbSetup& setup, const std::uint8_t* data);
  UsbTransfer HandleUpload(const UsbSetup& setup, std::uint8_t* data);
  UsbTransfer HandleGetStatus(const UsbSetup& setup, std::uint8_t* data, std::uint32_t now);
  // Carries out the pending download; returns its status and sets the work time.
  std::uint8_t RunDownload(std::uint32_t& workUs, bool& resets);
  std::uint8_t RunCommand(std::uint32_t& workUs, bool& resets);
  // Starts the pending download's work at the first GETSTATUS; returns the bwPollTimeout.
  std::uint32_t StartWork(std::uint32_t now);
  // The state once the work is over: dfuDNLOAD-IDLE, or dfuERROR with the work's status.
  void FinishWork();
  // Read protection level 1 refuses this alternate.
  bool Refused() const;
  // The bwPollTimeout from the moment the host has the answer of a GETSTATUS handled at `now`.
  std::uint32_t PollMs(std::uint32_t now) const;

  SimDeviceConfig m_config;
  SimMemory m_memory;
  SimFaults m_faults;
  DfuState m_state = dfuIDLE;
  std::uint8_t m_status = OK;
  std::uint8_t m_alternate = 0;
  std::uint32_t m_pointer = kSimFlashStart;
  // The download received in dfuDNLOAD-SYNC, carried out by the next GETSTATUS.
  std::uint16_t m_block = 0;
  std::vector<std::uint8_t> m_download;
  std::optional<std::uint8_t> m_failDownloadWith;
  std::optional<SimFault> m_downloadFault;  // Partial or Lost, for data blocks
  // dfuDNBUSY lasts until m_busyUntil; then the work's outcome is m_workStatus.
  bool m_workDone = false;
  SimMoment m_busyUntil;
  std::uint8_t m_workStatus = OK;
  std::optional<SimMoment> m_flashFreeAt;  // end of the last work started
  std::optional<std::uint32_t> m_resetAt;
  std::uint32_t m_heldUs = 0;
};

}  // namespace kestrune
