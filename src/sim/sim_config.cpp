#include "sim/sim_config.h"

#include <cstdio>

namespace kestrune {

SimTiming InstantTiming() {
  return SimTiming{};
}

SimTiming DatasheetTiming() {
  SimTiming t;
  t.setAddressMs = 0;
  t.erase16KMs = 250;
  t.erase64KMs = 550;
  t.erase128KMs = 1000;
  t.massEraseMs = 8000;
  t.programUsPerWord = 16;
  // Rewriting the option block erases and programs its own sector (assumed: one small sector).
  t.optionWriteMs = 250;
  // A request waits for its frame; the data stage moves 8 of the 13 packets a frame could hold.
  t.controlTransferUs = 1000;
  t.dataBytesPerMs = 512;
  return t;
}

SimStrictness LenientStrictness() {
  SimStrictness s;
  s.protectAllAlternates = false;
  s.otpOverrun = SimOtpOverrun::WholeWindow;
  s.holdBusyAnswer = false;
  s.keepUndefinedOptionBits = true;
  return s;
}

std::uint32_t SimTransferUs(const SimTiming& timing, std::uint32_t dataBytes) {
  const std::uint64_t dataUs =
      timing.dataBytesPerMs == 0 ? 0 : std::uint64_t{dataBytes} * 1000 / timing.dataBytesPerMs;
  return static_cast<std::uint32_t>(timing.controlTransferUs + dataUs);
}

std::uint32_t SimProgramUs(const SimTiming& timing, std::uint32_t bytes) {
  return static_cast<std::uint32_t>((std::uint64_t{bytes} + 3) / 4 * timing.programUsPerWord);
}

std::uint32_t SimEraseMs(const SimTiming& timing, std::uint32_t sectorSize) {
  return sectorSize <= 16 * 1024   ? timing.erase16KMs
         : sectorSize <= 64 * 1024 ? timing.erase64KMs
                                   : timing.erase128KMs;
}

bool IsSupportedFlashSize(std::uint32_t flashKiB) {
  return flashKiB == 256 || flashKiB == 512 || flashKiB == 1024 || flashKiB == 2048;
}

std::vector<std::string> BootLoaderInterfaceStrings(std::uint32_t flashKiB,
                                                    SimStringVariant variant) {
  const bool f42x = variant == SimStringVariant::F42x;
  std::string flash = f42x ? "@Internal Flash /0x08000000/04*016Kg,01*064Kg,"
                           : "@Internal Flash  /0x08000000/04*016Kg,01*064Kg,";
  std::string options = "@Option Bytes  /0x1FFFC000/01*016 e";
  switch (flashKiB) {
    case 256:
      flash += "01*128Kg";
      break;
    case 512:
      flash += "03*128Kg";
      break;
    case 2048:
      flash += "07*128Kg,04*016Kg,01*064Kg,07*128Kg";
      options += "/0x1FFEC000/01*016 e";
      break;
    default:
      flash += "07*128Kg";
      break;
  }
  std::string otp = "@OTP Memory /0x1FFF7800/01*512 e,01*016 e";
  if (f42x) otp += "/0x1FFE7800/01*512 e,01*016 e";
  return {flash, options, otp, "@Device Feature/0xFFFF0000/01*004 e"};
}

bool IsValidInstance(const std::string& instance) {
  if (instance.empty() || instance.find_first_not_of('.') == std::string::npos) return false;
  for (char c : instance) {
    const bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (!alnum && c != '&' && c != '_' && c != '-' && c != '.') return false;
  }
  return true;
}

std::string SerialFromUniqueId(const std::array<std::uint8_t, 12>& id) {
  auto word = [&id](int i) {
    return static_cast<std::uint32_t>(id[i]) | (static_cast<std::uint32_t>(id[i + 1]) << 8) |
           (static_cast<std::uint32_t>(id[i + 2]) << 16) |
           (static_cast<std::uint32_t>(id[i + 3]) << 24);
  };
  char text[16];
  std::snprintf(text, sizeof text, "%08X%04X", static_cast<unsigned>(word(0) + word(8)),
                static_cast<unsigned>(word(4) >> 16));
  return text;
}

std::array<std::uint8_t, kSimOptionSize> WithOptionComplements(
    std::array<std::uint8_t, kSimOptionSize> bytes) {
  for (std::size_t i = 2; i < 8; ++i) bytes[i] = static_cast<std::uint8_t>(~bytes[i % 2]);
  for (std::size_t i = 10; i < 16; ++i) bytes[i] = static_cast<std::uint8_t>(~bytes[8 + i % 2]);
  return bytes;
}

SimDeviceConfig DefaultSimDevice(const std::string& imageFolder) {
  SimDeviceConfig config;
  // USER with the brown-out reset off, read protection level 0, no write protection.
  config.optionBytes = WithOptionComplements({0xEF, 0xAA, 0, 0, 0, 0, 0, 0, 0xFF, 0x0F});
  config.otp.fill(0xFF);
  config.otpLocks.fill(0xFF);
  config.uniqueId = {0x31, 0x00, 0x47, 0x00, 0x0E, 0x51, 0x33, 0x30, 0x37, 0x34, 0x38, 0x36};
  config.imageFolder = imageFolder;
  return config;
}

}  // namespace kestrune
