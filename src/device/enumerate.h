#pragma once
// Device discovery: counts the DFU interfaces on the bus over both interface classes, opens the
// first one, reads its descriptors, checks that it is a DfuSe device of the right class with a
// usable memory map, reads its OTP area and decodes the identity, and closes it again.
//
// The result is a plain record. The dialog stores its values into its members first (before any
// effect, so that repaints see the new state), clears m_deviceRemoved, clears m_abortRequested
// when `abortRequestCleared` is set, then applies `effects` in order to its window.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "device/control_effect.h"
#include "device/device_bus.h"
#include "device/device_identity.h"
#include "device/memory_map.h"
#include "dfu/stdfu.h"
#include "platform/clock.h"
#include "support/format_time.h"

namespace kestrune {

// What the window shows from the last discovery (m_deviceCount, m_deviceError,
// m_identityState): discovery repaints and empties controls where the new values differ.
struct DiscoveryState {
  std::int32_t deviceCount = 0;
  std::int32_t deviceError = 0;
  std::int32_t identityState = kIdentityNotRead;
};

// Descriptors read from the DFU library (m_dfuDescriptor, m_dfuInterface, m_alternateCount).
struct DfuDescription {
  std::array<std::uint8_t, 9> descriptor = {};
  std::uint32_t interfaceNumber = 0;
  std::uint32_t alternateCount = 0;
};

struct Discovery {
  std::int32_t deviceCount = 0;
  std::string devicePath;  // empty when no device was opened
  std::int32_t deviceError = 0;
  std::int32_t identityState = kIdentityNotRead;
  std::unique_ptr<MemoryMap> memoryMap;  // none unless the device passed every check
  // Members that keep their earlier value where these hold nothing.
  std::optional<std::array<std::uint8_t, 18>> deviceDescriptor;
  std::optional<DfuDescription> dfu;
  std::optional<std::uint32_t> flashSize;  // set whenever a memory map was made
  std::optional<OtpImage> otpImage;        // set whenever the OTP area was (tried to be) read
  // The unique-ID text for the download log; emptied when the OTP area could not be read, so
  // that a run is never logged under another device's ID.
  std::optional<std::string> hardwareId;
  bool abortRequestCleared = false;  // the OTP read was started
  ControlEffects effects;
};

Discovery Enumerate(StdfuLibrary& dfu, DeviceBus& bus, Clock& clock, const DiscoveryState& shown,
                    CalendarConversion local = LocalCalendar);

// The DfuSe versions of bcdDFUVersion; plain DFU 1.1 (0x0110) is not one.
inline constexpr std::uint16_t kFirstDfuSeVersion = 0x011A;
inline constexpr std::uint16_t kLastDfuSeVersion = 0x011F;

}  // namespace kestrune
