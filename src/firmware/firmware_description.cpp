#include "firmware/firmware_description.h"

#include <cstdio>
#include <cstring>

#include "firmware/firmware_image.h"
#include "platform/platform.h"

namespace kestrune {
namespace {

constexpr const char* kOk = "  (Ok)";
constexpr const char* kError = "  (Error)";

// A header text ends at its terminator or, without one, at the end of its field.
std::string FieldText(const FirmwareHeader& header, std::uint32_t offset, std::uint32_t size) {
  const auto* field = reinterpret_cast<const char*>(header.data() + offset);
  const void* end = std::memchr(field, '\0', size);
  return std::string(field, end ? static_cast<const char*>(end) - field : size);
}

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char text[64];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

std::string SizeText(std::int64_t size) {
  if (size < 0) {
    return "---";
  }
  // The tenths from the remainder: size * 10 would overflow for the largest sizes a file can have.
  return Format("%lld.%i kB%s", static_cast<long long>(size / 1024),
                static_cast<int>(size % 1024 * 10 / 1024),
                IsDescribableSize(static_cast<std::uint64_t>(size)) ? "" : kError);
}

}  // namespace

const char* HardwareName(std::uint8_t code) {
  static constexpr const char* kNames[] = {"RtTarget / X86", "Linux / X86", "LED-Controller",
                                           "CIMSIS / Cortex-M4", "FreeRTOS / RZA1"};
  return code < std::size(kNames) ? kNames[code] : "Unkown";
}

bool IsAcceptedHardware(std::uint8_t code) {
  return code == 2 || code == 3;
}

FirmwareDescription DescribeFirmware(const char* path) {
  FirmwareDescription description;
  FirmwareHeader header;
  std::uint32_t sum = 0;
  if (!ScanFirmwareFile(path, header, sum)) {
    const bool plainFile = GetPathKind(path) == kPathFile;
    description.state = plainFile ? FirmwareState::WrongFormat : FirmwareState::NoFile;
    description.texts[0] = plainFile ? "Wrong Format" : "---";
    return description;
  }
  const bool sumOk = sum == kGoodWordSum;
  const std::uint8_t code = header[kHardwareCodeOffset];
  // The size comes from a look-up by name of its own; one that fails (-1) counts as too large.
  const std::int64_t size = GetPlainFileSize(path);
  if (!sumOk) {
    description.state = FirmwareState::BadChecksum;
  } else if (!IsAcceptedHardware(code)) {
    description.state = FirmwareState::WrongHardware;
  } else if (!IsDescribableSize(static_cast<std::uint64_t>(size))) {
    description.state = FirmwareState::TooLarge;
  } else {
    description.state = FirmwareState::Valid;
  }
  description.logTextsReplaced = true;
  description.firmwareVersion = FieldText(header, kVersionOffset, kVersionSize);
  description.deviceKind = FieldText(header, kDeviceTypeOffset, kDeviceTypeSize);
  description.firmwareDate = FieldText(header, kDateOffset, kDateSize);
  description.reloadCountdownReset = true;
  description.wordSum = sum;
  description.hardwareCode = code;
  if (size >= 0) description.fileBytes = size;
  description.texts = {
      description.deviceKind,
      description.firmwareVersion,
      description.firmwareDate,
      Format("%08Xh%s", static_cast<unsigned>(sum), sumOk ? kOk : kError),
      Format("%i%s", static_cast<int>(code), IsAcceptedHardware(code) ? kOk : kError),
      HardwareName(code),
      SizeText(size),
  };
  return description;
}

}  // namespace kestrune
