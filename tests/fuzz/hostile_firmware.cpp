#include "hostile_firmware.h"

#include "fuzz_support.h"

namespace kestrune::fuzz {

std::string WriteHostileFirmware() {
  std::string bytes(kHostileFirmwareSize, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + 1);
  return WriteScratchFile("firmware.bin", bytes);
}

}  // namespace kestrune::fuzz
