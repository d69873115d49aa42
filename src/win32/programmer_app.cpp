#include "win32/programmer_app.h"

#include <windows.h>

#include <commctrl.h>

#include "backend/data_folders.h"
#include "job/programming_job.h"
#include "usb/null_platform.h"
#include "win32/colour_brushes.h"
#include "win32/file_dialog_hook.h"
#include "win32/programmer_window.h"
#include "win32/registry_path_history.h"

namespace kestrune::win32 {

DeviceChoice ChooseDevices(const std::optional<std::string>& simulator) {
  DeviceChoice choice;
  if (!simulator) {
    choice.message =
        "Der Zugriff auf USB-Geräte ist in diesem Programm noch nicht enthalten: es wird kein "
        "Gerät angezeigt.\n\nMit der Umgebungsvariablen KESTRUNE_SIMULATE=1 arbeitet Kestrune mit "
        "dem simulierten Gerät.";
  } else {
    BackendChoice made = MakeDeviceBackend(simulator, {});
    choice.backend = std::move(made.backend);
    if (!choice.backend) {
      choice.message = "Der simulierte Messplatz kann nicht angelegt werden:\n\n" + made.error;
    }
  }
  // No bench chosen or made: a platform without devices, so the window works and shows none.
  if (!choice.backend)
    choice.backend = std::make_unique<DeviceBackend>(SystemClock(), MakeNullPlatformUsb());
  return choice;
}

bool ProgrammerApp::InitInstance() {
  InstallFileDialogHook(nullptr);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);

  const ColourBrushes brushes;
  DeviceChoice devices = ChooseDevices(ChosenSimulator());
  if (!devices.message.empty()) {
    MessageBoxA(nullptr, devices.message.c_str(), "Warnung", MB_OK | MB_ICONWARNING);
  }
  DeviceBackend& backend = *devices.backend;
  RegistryPathHistory history;
  ProgrammerWindow window({backend.Dfu(), backend.Bus(), backend.GetClock(), DefaultInfosFolder(),
                           [&backend](JobHost& host, const JobInputs& inputs) {
                             ProgrammingJob(host, backend.Dfu(), backend.GetClock(), inputs);
                           },
                           brushes, history});
  window.Run();
  return false;
}

}  // namespace kestrune::win32
