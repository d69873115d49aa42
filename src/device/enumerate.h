#pragma once
// Device discovery: counts the DFU interfaces on the bus over both interface classes, opens the
// first one, reads its descriptors, checks that it is a DfuSe device of the right class with a
// usable memory map, reads its OTP area and decodes the identity, and closes it again.
//
// The result is a plain record of what was found. How it is shown, and which fields the window
// fills, empties or repaints, is the front end's decision.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "device/device_bus.h"
#include "device/device_identity.h"
#include "device/memory_map.h"
#include "dfu/stdfu.h"
#include "platform/clock.h"

namespace kestrune {

// The DFU functional descriptor and the interface it belongs to, as the DFU library reports them.
struct DfuDescription {
  std::array<std::uint8_t, 9> descriptor = {};
  std::uint32_t interfaceNumber = 0;
  std::uint32_t alternateCount = 0;
};

// The descriptor fields that describe the device.
struct UsbDescriptorValues {
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  std::uint16_t dfuVersion = 0;  // bcdDFUVersion
  std::uint16_t deviceBcd = 0;   // bcdDevice
};

struct Discovery {
  std::int32_t deviceCount = 0;
  std::string devicePath;    // empty when no device was opened
  bool deviceError = false;  // the device opened failed a check
  IdentityState identityState = IdentityState::NotRead;
  std::unique_ptr<MemoryMap> memoryMap;  // none unless the device passed every check
  // The descriptors as read, none where they could not be.
  std::optional<std::array<std::uint8_t, 18>> deviceDescriptor;
  std::optional<DfuDescription> dfu;
  // Members that keep their earlier value where these hold nothing.
  std::optional<std::uint32_t> flashSize;  // set whenever a memory map was made
  std::optional<OtpImage> otpImage;        // set whenever the OTP area was (tried to be) read
  // The unique-ID text for the download log; emptied when the OTP area could not be read, so
  // that a run is never logged under another device's ID.
  std::optional<std::string> hardwareId;
  bool otpReadStarted = false;                     // the OTP read was started
  std::optional<UsbDescriptorValues> descriptors;  // both descriptors of this device were read
};

Discovery Enumerate(StdfuLibrary& dfu, DeviceBus& bus, Clock& clock);

// The DfuSe versions of bcdDFUVersion; plain DFU 1.1 (0x0110) is not one.
inline constexpr std::uint16_t kFirstDfuSeVersion = 0x011A;
inline constexpr std::uint16_t kLastDfuSeVersion = 0x011F;

}  // namespace kestrune
