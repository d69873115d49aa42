#include "cli/device_choice.h"

#include "device/device_listing.h"

namespace kestrune::cli {

std::unique_ptr<DeviceBackend> MakeDeviceBackend(const GlobalOptions& options, std::FILE* err,
                                                 std::atomic<bool>* openProblem) {
  BackendChoice made = kestrune::MakeDeviceBackend(
      ChosenSimulator(options.simulatorFile),
      OnceEach([err, openProblem](const UsbOpenProblem& problem) {
        std::fprintf(err, "kestrune: %s\n", DescribeProblem(problem).c_str());
        if (openProblem != nullptr) *openProblem = true;
      }));
  if (!made.backend) std::fprintf(err, "kestrune: %s\n", made.error.c_str());
  return std::move(made.backend);
}

ChosenDevice::ChosenDevice(DeviceBackend& backend, const std::optional<std::string>& path)
    : m_backend(backend) {
  if (!path) return;
  m_splitter = std::make_unique<DeviceBusSplitter>(backend.Bus());
  m_view = m_splitter->View(*path);
}

ChosenDevice::~ChosenDevice() {
  m_view.reset();
}

DeviceChoice ChooseDevice(DeviceBackend& backend, const std::optional<std::string>& choice) {
  if (!choice) return {std::make_unique<ChosenDevice>(backend, std::nullopt), {}};
  const std::vector<ListedDevice> devices =
      ListDevices(backend.Dfu(), backend.Bus(), backend.GetClock());
  const std::vector<const ListedDevice*> named = DevicesNamed(devices, *choice);
  if (named.size() == 1) return {std::make_unique<ChosenDevice>(backend, named[0]->path), {}};
  if (named.empty()) {
    return {nullptr, "--device '" + *choice +
                         "' names no attached device ('kestrune list' shows the attached ones)"};
  }
  std::string error = "--device '" + *choice + "' names " + std::to_string(named.size()) +
                      " devices (choose one by its path):";
  for (const ListedDevice* device : named) error += "\n  " + device->path;
  return {nullptr, error};
}

}  // namespace kestrune::cli
