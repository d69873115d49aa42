// The firmware file as the operator chooses it: any bytes at all.

#include <cstring>

#include "firmware/firmware_description.h"
#include "firmware/firmware_image.h"
#include "fuzz_support.h"

using namespace kestrune;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  const std::string path = fuzz::WriteScratchFile("firmware.bin", fuzz::AsText(data, size));

  FirmwareHeader header;
  std::uint32_t sum = 1;
  const bool found = ScanFirmwareFile(path.c_str(), header, sum);
  const std::int64_t offset = FindFirmwareHeader(bytes);
  if (size > 0) {
    fuzz::Require(sum == WordSum(bytes), "the scan sums the whole file");
    fuzz::Require(found == (offset >= 0), "the scan finds the header the search finds");
  }
  if (found) {
    fuzz::Require(std::memcmp(header.data(), data + offset, kFirmwareHeaderSize) == 0,
                  "the header is copied from where it was found");
  }

  const FirmwareDescription description = DescribeFirmware(path.c_str());
  fuzz::Require(description.logTextsReplaced == found,
                "the log texts are replaced exactly when the file has a header");
  return 0;
}
