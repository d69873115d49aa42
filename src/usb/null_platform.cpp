#include "usb/null_platform.h"

namespace kestrune {
namespace {

class NoDevices final : public UsbBackend, public DeviceBus {
 public:
  std::unique_ptr<UsbDevice> Open(const std::string&) override { return nullptr; }
  std::optional<std::vector<std::string>> PresentInterfaces(const Guid&) override {
    return std::vector<std::string>{};
  }
  void SetListener(Listener) override {}
};

class NullPlatformUsb final : public PlatformUsb {
 public:
  UsbBackend& Usb() override { return m_none; }
  DeviceBus& Bus() override { return m_none; }

 private:
  NoDevices m_none;
};

}  // namespace

std::unique_ptr<PlatformUsb> MakeNullPlatformUsb() {
  return std::make_unique<NullPlatformUsb>();
}

}  // namespace kestrune
