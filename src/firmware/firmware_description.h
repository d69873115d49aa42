#pragma once
// What the "Firmware-Infos" group shows for a path, and what the dialog keeps of it. A pure
// function of the file: the dialog only applies the record.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "firmware/firmware_state.h"

namespace kestrune {

// The fields of "Firmware-Infos": kind, version, date, checksum, hardware code, OS/CPU, size.
inline constexpr int kFirmwareInfoFieldCount = 7;

struct FirmwareDescription {
  FirmwareState state = FirmwareState::NoFile;
  // With a header the three log texts are replaced; without one the dialog keeps its old ones.
  bool logTextsReplaced = false;
  std::string firmwareVersion;
  std::string deviceKind;
  std::string firmwareDate;
  // With a header the reload countdown is set to 0; without one it is left as it is.
  bool reloadCountdownReset = false;
  // The values behind the texts, once the file had a header.
  std::optional<std::uint32_t> wordSum;  // the sum of its 32-bit words: kGoodWordSum when intact
  std::optional<std::uint8_t> hardwareCode;
  std::optional<std::int64_t> fileBytes;  // none when the size could not be learnt
  // The texts of the fields, in the order above.
  std::array<std::string, kFirmwareInfoFieldCount> texts;
};

// "CIMSIS / Cortex-M4" and the other names shown under "OS/CPU :".
const char* HardwareName(std::uint8_t code);
// Codes 2 and 3 are the hardware this tool programs.
bool IsAcceptedHardware(std::uint8_t code);

FirmwareDescription DescribeFirmware(const char* path);

}  // namespace kestrune
