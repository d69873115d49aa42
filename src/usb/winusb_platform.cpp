#include "usb/platform_usb.h"
#include "usb/setupdi_bus.h"
#include "usb/winusb_backend.h"

namespace kestrune {
namespace {

class WinUsbPlatform final : public PlatformUsb {
 public:
  explicit WinUsbPlatform(UsbOpenProblemSink problems)
      : m_backend(RealWinUsbApi(), std::move(problems)),
        m_bus(RealWinUsbApi(), /*ownNotifications=*/true) {}

  UsbBackend& Usb() override { return m_backend; }
  DeviceBus& Bus() override { return m_bus; }

 private:
  WinUsbBackend m_backend;
  SetupDiBus m_bus;
};

}  // namespace

std::unique_ptr<PlatformUsb> MakePlatformUsb(UsbOpenProblemSink problems) {
  return std::make_unique<WinUsbPlatform>(std::move(problems));
}

}  // namespace kestrune
