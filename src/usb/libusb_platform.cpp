#include "usb/libusb_backend.h"
#include "usb/libusb_bus.h"
#include "usb/platform_usb.h"

namespace kestrune {
namespace {

class LibusbPlatform final : public PlatformUsb {
 public:
  explicit LibusbPlatform(UsbOpenProblemSink problems)
      : m_backend(m_context, std::move(problems)), m_bus(m_context) {}

  UsbBackend& Usb() override { return m_backend; }
  DeviceBus& Bus() override { return m_bus; }

 private:
  LibusbContext m_context;
  LibusbBackend m_backend;
  LibusbBus m_bus;  // stops its event thread before the context ends
};

}  // namespace

// libusb's hot-plug events come on the bus's own thread whoever listens.
std::unique_ptr<PlatformUsb> MakePlatformUsb(UsbOpenProblemSink problems, DeviceNotifications) {
  return std::make_unique<LibusbPlatform>(std::move(problems));
}

}  // namespace kestrune
