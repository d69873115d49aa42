#include "usb/winusb_platform.h"

#include "usb/setupdi_bus.h"
#include "usb/winusb_backend.h"

namespace kestrune {
namespace {

class WinUsbPlatform final : public PlatformUsb {
 public:
  WinUsbPlatform(const WinUsbApi& api, UsbOpenProblemSink problems,
                 DeviceNotifications notifications)
      : m_backend(api, problems),
        m_bus(api, notifications == DeviceNotifications::ByTheBus, problems) {}

  UsbBackend& Usb() override { return m_backend; }
  DeviceBus& Bus() override { return m_bus; }
  std::vector<Guid> NotificationClasses() override { return m_bus.NotificationClasses(); }

 private:
  WinUsbBackend m_backend;
  SetupDiBus m_bus;
};

}  // namespace

std::unique_ptr<PlatformUsb> MakeWinUsbPlatform(const WinUsbApi& api, UsbOpenProblemSink problems,
                                                DeviceNotifications notifications) {
  return std::make_unique<WinUsbPlatform>(api, std::move(problems), notifications);
}

std::unique_ptr<PlatformUsb> MakePlatformUsb(UsbOpenProblemSink problems,
                                             DeviceNotifications notifications) {
  return MakeWinUsbPlatform(RealWinUsbApi(), std::move(problems), notifications);
}

}  // namespace kestrune
