#pragma once
// --device: the commands that work on one device (info, program, set-identity) see only the
// device it names, so that their "exactly one device" checks apply to the choice and the others
// attached stay untouched. Without --device they see the whole bus.

#include <atomic>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "backend/device_backend.h"
#include "cli/cli.h"
#include "device/device_bus_split.h"

namespace kestrune::cli {

// The backend the options ask for, or null after a message on `err` when the simulated device
// cannot be made. Why a present USB device cannot be opened goes to `err` too, once, and sets
// `openProblem` (which must outlive the backend) where one is given.
std::unique_ptr<DeviceBackend> MakeDeviceBackend(const GlobalOptions& options, std::FILE* err,
                                                 std::atomic<bool>* openProblem = nullptr);

class ChosenDevice {
 public:
  // The whole bus of `backend`, or only the interface at `path`.
  ChosenDevice(DeviceBackend& backend, const std::optional<std::string>& path);
  // Before the backend goes.
  ~ChosenDevice();
  ChosenDevice(const ChosenDevice&) = delete;
  ChosenDevice& operator=(const ChosenDevice&) = delete;

  DeviceBus& Bus() { return m_view ? *m_view : m_backend.Bus(); }

 private:
  DeviceBackend& m_backend;
  std::unique_ptr<DeviceBusSplitter> m_splitter;
  std::unique_ptr<DeviceBus> m_view;
};

struct DeviceChoice {
  std::unique_ptr<ChosenDevice> device;  // null when `error` says why
  std::string error;
};

// The device that `choice` (a path or a USB serial number) names among the attached ones, or the
// whole bus without a choice. Naming none or several is an error.
DeviceChoice ChooseDevice(DeviceBackend& backend, const std::optional<std::string>& choice);

}  // namespace kestrune::cli
