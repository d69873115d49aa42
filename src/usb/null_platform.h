#pragma once
// A platform without USB: no device is ever present and nothing fails. It serves builds without
// a USB library and front ends that must run where no bus can be reached.

#include <memory>

#include "usb/platform_usb.h"

namespace kestrune {

std::unique_ptr<PlatformUsb> MakeNullPlatformUsb();

}  // namespace kestrune
