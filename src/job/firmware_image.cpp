#include "job/firmware_image.h"

#include "firmware/firmware_size.h"
#include "platform/platform.h"

namespace kestrune {

FirmwareImage LoadFirmwareImage(const std::string& path) {
  FirmwareImage image;
  image.bytes.assign(kFirmwareSizeLimit, 0);
  image.size = ReadWholeFile(path.c_str(), image.bytes.data(),
                             static_cast<std::int32_t>(kFirmwareSizeLimit));
  return image;
}

}  // namespace kestrune
