#include "device/device_record.h"

namespace kestrune {

DeviceRecord RecordOf(const Discovery& found) {
  DeviceRecord record;
  record.deviceCount = found.deviceCount;
  if (!found.devicePath.empty()) record.path = found.devicePath;
  record.descriptors = found.descriptors;
  record.passedChecks = !found.deviceError && found.memoryMap != nullptr;
  if (record.passedChecks) record.flashBytes = found.flashSize;
  record.identityState = found.identityState;
  if (found.hardwareId && !found.hardwareId->empty()) record.uniqueId = found.hardwareId;
  if (record.identityState == IdentityState::NotRead || !found.otpImage) return record;
  const OtpImage& image = *found.otpImage;
  record.freeOtpBlocks = FreeOtpBlocks(image);
  record.identityBlock = FindIdentityBlock(image);
  if (record.identityBlock) {
    record.identity = DecodeIdentity(image.data() + *record.identityBlock * kOtpBlockSize);
  }
  return record;
}

}  // namespace kestrune
