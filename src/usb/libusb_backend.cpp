#include "usb/libusb_backend.h"

#include <libusb.h>

#include <vector>

namespace kestrune {
namespace {

UsbResult FromLibusb(int code) {
  switch (code) {
    case LIBUSB_SUCCESS:
      return UsbResult::Ok;
    case LIBUSB_ERROR_PIPE:
      return UsbResult::Stall;
    case LIBUSB_ERROR_TIMEOUT:
      return UsbResult::Timeout;
    case LIBUSB_ERROR_NO_DEVICE:
      return UsbResult::NoDevice;
    default:
      return UsbResult::Error;
  }
}

class LibusbDevice final : public UsbDevice {
 public:
  LibusbDevice(libusb_device_handle* handle, std::uint8_t interfaceNumber) : m_handle(handle) {
    m_claimed.push_back(interfaceNumber);
  }

  ~LibusbDevice() override {
    for (std::uint8_t interface : m_claimed) libusb_release_interface(m_handle, interface);
    libusb_close(m_handle);
  }

  UsbTransfer ControlTransfer(const UsbSetup& setup, std::uint8_t* data,
                              std::uint32_t timeoutMs) override {
    if (data == nullptr && setup.wLength > 0) return {UsbResult::Error, 0};
    // libusb waits for ever on a time-out of 0; a device that never answers must not hang a run.
    const int moved =
        libusb_control_transfer(m_handle, setup.bmRequestType, setup.bRequest, setup.wValue,
                                setup.wIndex, data, setup.wLength, timeoutMs == 0 ? 1 : timeoutMs);
    if (moved < 0) return {FromLibusb(moved), 0};
    return {UsbResult::Ok, static_cast<std::uint32_t>(moved)};
  }

  UsbResult SetAlternateSetting(std::uint8_t interfaceNumber, std::uint8_t alternate) override {
    if (!Claim(interfaceNumber)) return UsbResult::Error;
    return FromLibusb(libusb_set_interface_alt_setting(m_handle, interfaceNumber, alternate));
  }

 private:
  bool Claim(std::uint8_t interfaceNumber) {
    for (std::uint8_t claimed : m_claimed) {
      if (claimed == interfaceNumber) return true;
    }
    if (libusb_claim_interface(m_handle, interfaceNumber) != LIBUSB_SUCCESS) return false;
    m_claimed.push_back(interfaceNumber);
    return true;
  }

  libusb_device_handle* m_handle;
  std::vector<std::uint8_t> m_claimed;
};

}  // namespace

LibusbBackend::LibusbBackend(LibusbContext& context, UsbOpenProblemSink problems)
    : m_context(context), m_problems(std::move(problems)) {}

std::unique_ptr<UsbDevice> LibusbBackend::Open(const std::string& path) {
  if (m_context.Get() == nullptr) return nullptr;
  libusb_device** list = nullptr;
  const ssize_t count = libusb_get_device_list(m_context.Get(), &list);
  if (count < 0) return nullptr;
  libusb_device_handle* handle = nullptr;
  std::uint8_t interfaceNumber = 0;
  int opened = LIBUSB_ERROR_NOT_FOUND;
  for (ssize_t i = 0; i < count && opened == LIBUSB_ERROR_NOT_FOUND; ++i) {
    for (const DfuInterfacePath& interface : DfuInterfacesOf(list[i])) {
      if (interface.path != path) continue;
      interfaceNumber = interface.interfaceNumber;
      opened = libusb_open(list[i], &handle);
      break;
    }
  }
  libusb_free_device_list(list, 1);
  if (opened == LIBUSB_ERROR_ACCESS && m_problems) {
    m_problems({UsbOpenProblem::Kind::NoPermission, path, {}});
  }
  if (opened != LIBUSB_SUCCESS) return nullptr;
  // Where the operating system does not let go of a kernel driver, claiming says so below.
  libusb_set_auto_detach_kernel_driver(handle, 1);
  const int claimed = libusb_claim_interface(handle, interfaceNumber);
  if (claimed != LIBUSB_SUCCESS) {
    libusb_close(handle);
    if (claimed == LIBUSB_ERROR_BUSY && m_problems) {
      m_problems({UsbOpenProblem::Kind::InUse, path, {}});
    }
    return nullptr;
  }
  return std::make_unique<LibusbDevice>(handle, interfaceNumber);
}

}  // namespace kestrune
