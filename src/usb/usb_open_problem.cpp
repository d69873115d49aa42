#include "usb/usb_device.h"

namespace kestrune {

std::string DescribeProblem(const UsbOpenProblem& problem) {
  const std::string& device = problem.device;
  switch (problem.kind) {
    case UsbOpenProblem::Kind::NoPermission:
      return "no permission to open the USB device " + device +
             ": install the udev rule packaging/linux/60-kestrune.rules as the README says, then "
             "plug the device in again";
    case UsbOpenProblem::Kind::AccessDenied:
      return "access to the USB device " + device +
             " is denied: another program (a DFU tool, a second Kestrune) may have it open; close "
             "that program, then plug the device in again";
    case UsbOpenProblem::Kind::InUse:
      return "the USB device " + device + " is in use by another program";
    case UsbOpenProblem::Kind::NotWinUsb:
      break;
  }
  const std::string what = problem.driver.empty()
                               ? " is not bound to WinUSB"
                               : " is bound to the driver " + problem.driver + ", not to WinUSB";
  return "the USB device " + device + what +
         ": install packaging\\windows\\kestrune-winusb.inf or a generic WinUSB driver as "
         "docs\\windows.md says, then plug the device in again";
}

}  // namespace kestrune
