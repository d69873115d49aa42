#pragma once
// The USB transport on Windows: opens a device interface path with CreateFileA and WinUSB, and
// speaks control transfers with time-outs on its default pipe. Standard GET_DESCRIPTOR requests go
// through WinUsb_GetDescriptor and SET_INTERFACE through WinUsb_SetCurrentAlternateSetting, as
// WinUSB wants them.
//
// A device that another program holds, or that is bound to another driver than WinUSB, is
// reported to the problem sink with what to do about it.

#include "usb/usb_device.h"
#include "usb/winusb_api.h"

namespace kestrune {

class WinUsbBackend final : public UsbBackend {
 public:
  explicit WinUsbBackend(const WinUsbApi& api, UsbOpenProblemSink problems = {});

  std::unique_ptr<UsbDevice> Open(const std::string& path) override;

 private:
  const WinUsbApi& m_api;
  UsbOpenProblemSink m_problems;
};

}  // namespace kestrune
