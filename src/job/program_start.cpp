#include "job/program_start.h"

namespace kestrune {

std::optional<StartRefusal> CheckProgramStart(int deviceCount, FirmwareState firmware) {
  if (deviceCount == 0) return StartRefusal::NoDevice;
  if (deviceCount >= 2) return StartRefusal::SeveralDevices;
  switch (firmware) {
    case FirmwareState::NoFile:
      return StartRefusal::NoFile;
    case FirmwareState::WrongFormat:
      return StartRefusal::WrongFormat;
    case FirmwareState::BadChecksum:
      return StartRefusal::BadChecksum;
    case FirmwareState::WrongHardware:
      return StartRefusal::WrongHardware;
    case FirmwareState::TooLarge:
    case FirmwareState::Valid:
      break;
  }
  return std::nullopt;
}

const char* StartRefusalText(StartRefusal refusal) {
  switch (refusal) {
    case StartRefusal::NoDevice:
      return "Es ist kein Cortex-M4 Gerät via USB angeschlossen !\n\nBitte prüfen ob das Gerät "
             "angesteckt ist,\nund zuvor der Boot-Dongle angebacht wurde.";
    case StartRefusal::SeveralDevices:
      return "Es ist mehr als ein Cortex-M4 Gerät via USB angeschlossen !\n\nBitte alle Geräte die "
             "nicht geflasht werden sollen.";
    case StartRefusal::NoFile:
      return "Es ist keine gültige Firmware-Datei !";
    case StartRefusal::WrongFormat:
      return "Es ist keine gültige Firmware-Datei ausgewählt !";
    case StartRefusal::BadChecksum:
      return "Die Firmware-Datei hat eine falsche Checksumme !";
    case StartRefusal::WrongHardware:
      return "Die Firmware-Datei ist nicht für eine Cortext-M4-Hardware geeignet !";
  }
  return "";
}

}  // namespace kestrune
