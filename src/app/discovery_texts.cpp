#include "app/discovery_texts.h"

#include <cstdio>

namespace kestrune {
namespace {

std::string HexWord(std::uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04Xh", static_cast<unsigned>(value));
  return text;
}

std::string FlashSizeText(std::uint32_t bytes) {
  char text[16];
  std::snprintf(text, sizeof text, "%i kB", static_cast<int>(bytes / 1024));
  return text;
}

}  // namespace

DiscoveryTexts DescribeDiscovery(const Discovery& found, CalendarConversion local) {
  DiscoveryTexts texts;
  if (found.descriptors) {
    const UsbDescriptorValues& values = *found.descriptors;
    texts.descriptors = DescriptorTexts{HexWord(values.vendorId), HexWord(values.productId),
                                        HexWord(values.dfuVersion), HexWord(values.deviceBcd)};
  }
  if (found.flashSize) texts.flashSize = FlashSizeText(*found.flashSize);
  if (found.identityState != IdentityState::NotRead && found.otpImage) {
    IdentityDisplay& identity = texts.identity.emplace(ShowDeviceIdentity(*found.otpImage, local));
    identity.uniqueId = found.hardwareId.value_or("");
  }
  return texts;
}

}  // namespace kestrune
