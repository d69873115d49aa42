#pragma once
// One libusb session shared by the USB transport and the device bus on Linux, and the interface
// paths of DFU-mode devices.
//
// A path names the interface by the bus topology, as the kernel names it in sysfs:
// "<bus>-<port>.<port>...:<configuration>.<interface>", for example "1-1.4:1.0". The device's
// address changes on every enumeration, the port chain does not, so a device that resets (after
// an option-byte write) comes back under the same path.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct libusb_context;
struct libusb_device;

namespace kestrune {

class LibusbContext {
 public:
  LibusbContext();
  ~LibusbContext();
  LibusbContext(const LibusbContext&) = delete;
  LibusbContext& operator=(const LibusbContext&) = delete;

  // Null when libusb could not start (no USB file system, for instance); Error() says why.
  libusb_context* Get() const { return m_context; }
  const std::string& Error() const { return m_error; }

 private:
  libusb_context* m_context = nullptr;
  std::string m_error;
};

std::string UsbInterfacePath(std::uint8_t bus, std::span<const std::uint8_t> ports,
                             std::uint8_t configuration, std::uint8_t interfaceNumber);

struct DfuInterfacePath {
  std::string path;
  std::uint8_t interfaceNumber = 0;
};

// The DFU-mode interfaces (class 0xFE, subclass 0x01, protocol 0x02) of a device, from its cached
// descriptors: no request goes to the device, so this is allowed in a hot-plug callback and works
// for a device that has just left.
std::vector<DfuInterfacePath> DfuInterfacesOf(libusb_device* device);

}  // namespace kestrune
