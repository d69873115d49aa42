#include "hostile_firmware.h"

#include "fuzz_support.h"

namespace kestrune::fuzz {

std::string HostileFirmwareBytes() {
  std::string bytes(kHostileFirmwareSize, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + 1);
  return bytes;
}

std::string WriteHostileFirmware() {
  return WriteScratchFile("firmware.bin", HostileFirmwareBytes());
}

}  // namespace kestrune::fuzz
