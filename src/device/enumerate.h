#pragma once
// Device discovery: counts the DFU interfaces on the bus over both interface classes, opens the
// first one, reads its descriptors, checks that it is a DfuSe device of the right class with a
// usable memory map, reads its OTP area and decodes the identity, and closes it again.
//
// The result is a plain record: what was found and the texts that describe it. Which fields the
// window fills, empties or repaints is the window's decision.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "device/device_bus.h"
#include "device/device_identity.h"
#include "device/identity_display.h"
#include "device/memory_map.h"
#include "dfu/stdfu.h"
#include "platform/clock.h"
#include "support/format_time.h"

namespace kestrune {

// Descriptors read from the DFU library (m_dfuDescriptor, m_dfuInterface, m_alternateCount).
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

// The descriptor fields as text ("0483h").
struct DescriptorTexts {
  std::string vendorId;
  std::string productId;
  std::string dfuVersion;
  std::string deviceBcd;
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
  bool otpReadStarted = false;                     // the OTP read was started
  std::optional<UsbDescriptorValues> descriptors;  // both descriptors of this device were read
  // The texts of the device that was opened; each is set only when it was found out.
  std::optional<DescriptorTexts> descriptorTexts;  // the descriptors were read
  std::optional<std::string> flashSizeText;        // the device passed every check ("1024 kB")
  std::optional<IdentityDisplay> identity;         // the OTP area was read
};

Discovery Enumerate(StdfuLibrary& dfu, DeviceBus& bus, Clock& clock,
                    CalendarConversion local = LocalCalendar);

// The DfuSe versions of bcdDFUVersion; plain DFU 1.1 (0x0110) is not one.
inline constexpr std::uint16_t kFirstDfuSeVersion = 0x011A;
inline constexpr std::uint16_t kLastDfuSeVersion = 0x011F;

}  // namespace kestrune
