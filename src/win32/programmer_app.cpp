#include "win32/programmer_app.h"

#include <windows.h>

#include <commctrl.h>

#include <cstdlib>

#include "cli/cli.h"
#include "job/programming_job.h"
#include "platform/platform.h"
#include "sim/sim_bench.h"
#include "sim/sim_file.h"
#include "win32/colour_brushes.h"
#include "win32/file_dialog_hook.h"
#include "win32/programmer_window.h"
#include "win32/registry_path_history.h"

namespace kestrune::win32 {

DeviceChoice ChooseDevices(const char* simulate, Clock& clock) {
  DeviceChoice choice;
  std::unique_ptr<SimBench> bench;
  if (simulate == nullptr || *simulate == '\0') {
    choice.message =
        "Der Zugriff auf USB-Geräte ist in diesem Programm noch nicht enthalten: es wird kein "
        "Gerät angezeigt.\n\nMit der Umgebungsvariablen KESTRUNE_SIMULATE=1 arbeitet Kestrune mit "
        "dem simulierten Gerät.";
  } else {
    std::string folder;
    GetModuleDirectory(folder);
    const std::string file = std::string(simulate) == "1" ? std::string() : std::string(simulate);
    SimBenchResult made = MakeSimBench(clock, file, folder + "simulator");
    if (made.bench) {
      bench = std::move(made.bench);
      // Devices that reset come back on their own; the window hears of it without asking.
      bench->StartEventThread();
    } else {
      choice.message = "Der simulierte Messplatz kann nicht angelegt werden:\n\n" + made.error;
    }
  }
  // No bench chosen or made: one without devices, so the window works and shows none.
  if (!bench) bench = std::make_unique<SimBench>(clock);
  choice.backend = std::make_unique<cli::DeviceBackend>(clock, std::move(bench));
  return choice;
}

bool ProgrammerApp::InitInstance() {
  InstallFileDialogHook(nullptr);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);

  const ColourBrushes brushes;
  DeviceChoice devices = ChooseDevices(std::getenv("KESTRUNE_SIMULATE"), SystemClock());
  if (!devices.message.empty()) {
    MessageBoxA(nullptr, devices.message.c_str(), "Warnung", MB_OK | MB_ICONWARNING);
  }
  cli::DeviceBackend& backend = *devices.backend;
  RegistryPathHistory history;
  ProgrammerWindow window(
      {backend.Dfu(), backend.Bus(), backend.GetClock(), cli::GlobalOptions{}.InfosFolder(),
       [&backend](RunEvents& events, const RunControl& control, const JobInputs& inputs) {
         ProgrammingJob(events, control, backend.Dfu(), backend.GetClock(), inputs);
       },
       brushes, history});
  window.Run();
  return false;
}

}  // namespace kestrune::win32
