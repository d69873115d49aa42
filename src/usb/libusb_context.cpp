#include "usb/libusb_context.h"

#include <libusb.h>

namespace kestrune {
namespace {

constexpr std::uint8_t kDfuClass = 0xFE;
constexpr std::uint8_t kDfuSubclass = 0x01;
constexpr std::uint8_t kDfuModeProtocol = 0x02;
// USB allows at most seven tiers of hubs below the root.
constexpr int kMaxPortChain = 7;

}  // namespace

LibusbContext::LibusbContext() {
  const int result = libusb_init(&m_context);
  if (result != LIBUSB_SUCCESS) {
    m_context = nullptr;
    m_error = libusb_error_name(result);
  }
}

LibusbContext::~LibusbContext() {
  if (m_context != nullptr) libusb_exit(m_context);
}

std::string UsbInterfacePath(std::uint8_t bus, std::span<const std::uint8_t> ports,
                             std::uint8_t configuration, std::uint8_t interfaceNumber) {
  std::string path = std::to_string(bus);
  char separator = '-';
  for (std::uint8_t port : ports) {
    path += separator;
    path += std::to_string(port);
    separator = '.';
  }
  return path + ':' + std::to_string(configuration) + '.' + std::to_string(interfaceNumber);
}

std::vector<DfuInterfacePath> DfuInterfacesOf(libusb_device* device) {
  std::vector<DfuInterfacePath> found;
  std::uint8_t ports[kMaxPortChain];
  const int depth = libusb_get_port_numbers(device, ports, kMaxPortChain);
  // A root hub has no port chain and is never a DFU device.
  if (depth <= 0) return found;
  libusb_config_descriptor* config = nullptr;
  if (libusb_get_config_descriptor(device, 0, &config) != LIBUSB_SUCCESS) return found;
  for (int i = 0; i < config->bNumInterfaces; ++i) {
    const libusb_interface& interface = config->interface[i];
    if (interface.num_altsetting < 1) continue;
    const libusb_interface_descriptor& first = interface.altsetting[0];
    if (first.bInterfaceClass == kDfuClass && first.bInterfaceSubClass == kDfuSubclass &&
        first.bInterfaceProtocol == kDfuModeProtocol) {
      found.push_back({UsbInterfacePath(libusb_get_bus_number(device),
                                        std::span(ports, static_cast<std::size_t>(depth)),
                                        config->bConfigurationValue, first.bInterfaceNumber),
                       first.bInterfaceNumber});
    }
  }
  libusb_free_config_descriptor(config);
  return found;
}

}  // namespace kestrune
