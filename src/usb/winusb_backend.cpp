#include "usb/winusb_backend.h"

namespace kestrune {
namespace {

constexpr std::uint8_t kStandardDeviceIn = 0x80;
constexpr std::uint8_t kGetDescriptor = 6;
constexpr UCHAR kDefaultPipe = 0x00;

UsbResult FromError(DWORD error) {
  switch (error) {
    case ERROR_SEM_TIMEOUT:
      return UsbResult::Timeout;
    case ERROR_GEN_FAILURE:  // how WinUSB reports a STALL handshake
      return UsbResult::Stall;
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_BAD_COMMAND:  // a handle whose device was removed
      return UsbResult::NoDevice;
    default:
      return UsbResult::Error;
  }
}

class WinUsbDevice final : public UsbDevice {
 public:
  WinUsbDevice(const WinUsbApi& api, HANDLE file, WINUSB_INTERFACE_HANDLE usb)
      : m_api(api), m_file(file), m_usb(usb) {}

  ~WinUsbDevice() override {
    m_api.WinUsb_Free(m_usb);
    m_api.CloseHandle(m_file);
  }

  UsbTransfer ControlTransfer(const UsbSetup& setup, std::uint8_t* data,
                              std::uint32_t timeoutMs) override {
    if (data == nullptr && setup.wLength > 0) return {UsbResult::Error, 0};
    if (!SetTimeout(timeoutMs)) return {FromError(m_api.GetLastError()), 0};
    ULONG moved = 0;
    BOOL done = FALSE;
    if (setup.bmRequestType == kStandardDeviceIn && setup.bRequest == kGetDescriptor) {
      done = m_api.WinUsb_GetDescriptor(m_usb, static_cast<UCHAR>(setup.wValue >> 8),
                                        static_cast<UCHAR>(setup.wValue & 0xFF), setup.wIndex, data,
                                        setup.wLength, &moved);
    } else {
      const WINUSB_SETUP_PACKET packet{setup.bmRequestType, setup.bRequest, setup.wValue,
                                       setup.wIndex, setup.wLength};
      done = m_api.WinUsb_ControlTransfer(m_usb, packet, data, setup.wLength, &moved, nullptr);
    }
    if (!done) return {FromError(m_api.GetLastError()), 0};
    return {UsbResult::Ok, static_cast<std::uint32_t>(moved)};
  }

  // The WinUSB handle stands for the device's first interface, the boot loader's only one.
  UsbResult SetAlternateSetting(std::uint8_t interfaceNumber, std::uint8_t alternate) override {
    if (interfaceNumber != 0) return UsbResult::Error;
    if (!m_api.WinUsb_SetCurrentAlternateSetting(m_usb, alternate)) {
      return FromError(m_api.GetLastError());
    }
    return UsbResult::Ok;
  }

 private:
  bool SetTimeout(std::uint32_t timeoutMs) {
    // WinUSB waits for ever on 0; a device that never answers must not hang a run.
    ULONG wanted = timeoutMs == 0 ? 1 : timeoutMs;
    if (wanted == m_timeoutMs) return true;
    if (!m_api.WinUsb_SetPipePolicy(m_usb, kDefaultPipe, PIPE_TRANSFER_TIMEOUT, sizeof wanted,
                                    &wanted)) {
      return false;
    }
    m_timeoutMs = wanted;
    return true;
  }

  const WinUsbApi& m_api;
  HANDLE m_file;
  WINUSB_INTERFACE_HANDLE m_usb;
  ULONG m_timeoutMs = 0;
};

}  // namespace

WinUsbBackend::WinUsbBackend(const WinUsbApi& api, UsbOpenProblemSink problems)
    : m_api(api), m_problems(std::move(problems)) {}

std::unique_ptr<UsbDevice> WinUsbBackend::Open(const std::string& path) {
  // WinUSB works only on handles opened for overlapped I/O.
  const HANDLE file = m_api.CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = m_api.GetLastError();
    if (m_problems && error == ERROR_ACCESS_DENIED) {
      m_problems({UsbOpenProblem::Kind::AccessDenied, path, {}});
    } else if (m_problems && (error == ERROR_SHARING_VIOLATION || error == ERROR_BUSY)) {
      m_problems({UsbOpenProblem::Kind::InUse, path, {}});
    }
    return nullptr;
  }
  WINUSB_INTERFACE_HANDLE usb = nullptr;
  if (!m_api.WinUsb_Initialize(file, &usb)) {
    const DWORD error = m_api.GetLastError();
    m_api.CloseHandle(file);
    if (FromError(error) != UsbResult::NoDevice && m_problems) {
      m_problems({UsbOpenProblem::Kind::NotWinUsb, path, {}});
    }
    return nullptr;
  }
  return std::make_unique<WinUsbDevice>(m_api, file, usb);
}

}  // namespace kestrune
