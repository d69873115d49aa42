#include "win32/programmer_app.h"

#include <windows.h>

#include <commctrl.h>

#include "backend/data_folders.h"
#include "job/programming_job.h"
#include "usb/null_platform.h"
#include "usb/platform_usb.h"
#include "win32/colour_brushes.h"
#include "win32/file_dialog_hook.h"
#include "win32/problem_boxes.h"
#include "win32/programmer_window.h"
#include "win32/registry_path_history.h"

namespace kestrune::win32 {

DeviceChoice ChooseDevices(const std::optional<std::string>& simulator,
                           UsbOpenProblemSink problems) {
  // The main window registers for device notifications itself: the bus keeps no window of its own.
  BackendChoice made =
      MakeDeviceBackend(simulator, std::move(problems), DeviceNotifications::ByTheWindow);
  if (made.backend) return {std::move(made.backend), {}};
  // A bench that cannot be made: no devices, so the window works and shows none.
  return {std::make_unique<DeviceBackend>(SystemClock(), MakeNullPlatformUsb()),
          "Der simulierte Messplatz kann nicht angelegt werden:\n\n" + made.error};
}

bool ProgrammerApp::InitInstance() {
  InstallFileDialogHook(nullptr);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);

  const ColourBrushes brushes;
  ProblemBoxes problems;
  DeviceChoice devices = ChooseDevices(ChosenSimulator(), problems.Sink());
  if (!devices.message.empty()) problems.Tell(devices.message);
  DeviceBackend& backend = *devices.backend;
  RegistryPathHistory history;
  ProgrammerWindow window(
      {backend.Dfu(), backend.Bus(), backend.GetClock(), DefaultInfosFolder(),
       [&backend](RunEvents& events, const RunControl& control, const JobInputs& inputs) {
         ProgrammingJob(events, control, backend.Dfu(), backend.GetClock(), inputs);
       },
       brushes, history, true, [&backend] { return backend.NotificationClasses(); }, &problems});
  window.Run();
  return false;
}

}  // namespace kestrune::win32
