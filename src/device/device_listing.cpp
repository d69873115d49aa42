#include "device/device_listing.h"

#include "device/device_bus_split.h"
#include "device/device_path.h"
#include "dfu/dfu_connection.h"

namespace kestrune {
namespace {

constexpr std::size_t kSerialNumberIndexOffset = 16;  // iSerialNumber in the device descriptor

}  // namespace

std::string UsbSerialNumberOf(StdfuLibrary& dfu, const Discovery& found) {
  if (!found.deviceDescriptor || found.devicePath.empty()) return {};
  const std::string& path = found.devicePath;
  const std::uint8_t index = (*found.deviceDescriptor)[kSerialNumberIndexOffset];
  if (index == 0) return {};
  DfuConnection connection(dfu, path);
  char text[256] = {};
  DfuHandle handle = connection.Handle();
  if (!connection.IsOpen() ||
      dfu.STDFU_GetStringDescriptor(&handle, index, text, sizeof text) != STDFU_NOERROR) {
    return {};
  }
  return text;
}

std::vector<std::string> PresentDevicePaths(DeviceBus& bus) {
  std::vector<std::string> paths;
  for (const Guid& interfaceClass : {kDfuInterfaceClass, kSecondInterfaceClass}) {
    const auto present = bus.PresentInterfaces(interfaceClass);
    if (present) paths.insert(paths.end(), present->begin(), present->end());
  }
  return paths;
}

std::vector<ListedDevice> ListDevices(StdfuLibrary& dfu, DeviceBus& bus, Clock& clock) {
  DeviceBusSplitter splitter(bus);
  std::vector<ListedDevice> devices;
  for (const std::string& path : PresentDevicePaths(bus)) {
    ListedDevice device;
    device.path = path;
    const std::unique_ptr<DeviceBus> alone = splitter.View(path);
    device.discovery = Enumerate(dfu, *alone, clock);
    device.usbSerialNumber = UsbSerialNumberOf(dfu, device.discovery);
    devices.push_back(std::move(device));
  }
  return devices;
}

std::vector<const ListedDevice*> DevicesNamed(const std::vector<ListedDevice>& devices,
                                              const std::string& choice) {
  std::vector<const ListedDevice*> named;
  for (const ListedDevice& device : devices) {
    if (SameDevicePath(device.path, choice) ||
        (!device.usbSerialNumber.empty() && SameIgnoringCase(device.usbSerialNumber, choice))) {
      named.push_back(&device);
    }
  }
  return named;
}

}  // namespace kestrune
