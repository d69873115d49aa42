#pragma once
// The USB transport on Linux: opens a DFU interface by its path (see libusb_context.h), claims it
// (a kernel driver that holds it is detached for the connection and attached again after), and
// speaks control transfers with time-outs through libusb.
//
// A device that is present but cannot be opened for want of permission, or because another
// program has claimed it, is reported to the problem sink with what to do about it.

#include <memory>
#include <string>

#include "usb/libusb_context.h"
#include "usb/usb_device.h"

namespace kestrune {

class LibusbBackend final : public UsbBackend {
 public:
  LibusbBackend(LibusbContext& context, UsbOpenProblemSink problems = {});

  std::unique_ptr<UsbDevice> Open(const std::string& path) override;

 private:
  LibusbContext& m_context;
  UsbOpenProblemSink m_problems;
};

}  // namespace kestrune
