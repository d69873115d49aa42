#pragma once
// ProgrammerApp: the program's start. It installs the file-dialog hook before any window exists,
// chooses the devices, runs the main window modally and returns when it closed.
//
// The environment variable KESTRUNE_SIMULATE chooses the simulated bench: "1" the default device
// with its memory images in "simulator" beside the program, any other text the bench file it
// names. Without it the program works with the machine's USB: SetupDi finds the boot loader and
// WinUSB talks to it, while the main window hears devices arrive and leave.

#include <memory>
#include <optional>
#include <string>

#include "backend/device_backend.h"

namespace kestrune::win32 {

struct DeviceChoice {
  std::unique_ptr<DeviceBackend> backend;  // never null: without devices a platform without USB
  std::string message;                     // for the operator once the window is up, when not empty
};

// The devices `simulator` (the chosen simulator file, "" for the default device; nothing for the
// machine's USB) asks for. Why a present USB device cannot be used goes to `problems`.
DeviceChoice ChooseDevices(const std::optional<std::string>& simulator,
                           UsbOpenProblemSink problems);

class ProgrammerApp {
 public:
  // Returns false: the process ends when the window has closed.
  bool InitInstance();
};

}  // namespace kestrune::win32
