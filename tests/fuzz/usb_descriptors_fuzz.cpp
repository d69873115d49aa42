// Descriptors as a device sends them. The first two bytes choose the interface and alternate
// setting looked for; the rest is the descriptor.

#include "fuzz_support.h"
#include "usb/usb_descriptors.h"

using namespace kestrune;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::span<const std::uint8_t> bytes(data + 2, size - 2);

  if (const auto dfu = FindDfuInterface(bytes)) {
    fuzz::Require(dfu->alternateCount > 0, "a DFU interface has an alternate setting");
    fuzz::Require(dfu->functional[1] == kDfuFunctionalDescriptorType,
                  "the functional descriptor is one");
  }
  if (const auto interface = FindInterfaceDescriptor(bytes, data[0], data[1])) {
    fuzz::Require((*interface)[1] == kInterfaceDescriptorType && (*interface)[2] == data[0] &&
                      (*interface)[3] == data[1],
                  "the interface descriptor found is the one asked for");
  }
  if (const auto text = StringDescriptorText(bytes)) {
    fuzz::Require(text->size() <= bytes.size() / 2, "one character per UTF-16 unit at most");
    fuzz::Require(text->find('\0') == std::string::npos, "the text ends at U+0000");
  }
  FirstLanguageId(bytes);
  return 0;
}
