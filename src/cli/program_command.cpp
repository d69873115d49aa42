#include "cli/program_command.h"

#include "app/control_ids.h"
#include "app/programmer_dialog.h"
#include "cli/cli.h"
#include "job/programming_job.h"
#include "job/run_commands.h"
#include "platform/platform.h"

#ifdef _WIN32
#include <io.h>
#define KESTRUNE_ISATTY(fd) _isatty(fd)
#define KESTRUNE_FILENO(f) _fileno(f)
#else
#include <unistd.h>
#define KESTRUNE_ISATTY(fd) isatty(fd)
#define KESTRUNE_FILENO(f) fileno(f)
#endif

namespace kestrune::cli {

namespace {

bool IsTerminal(std::FILE* stream) {
  return KESTRUNE_ISATTY(KESTRUNE_FILENO(stream)) != 0;
}

std::string DefaultInfosFolder() {
  std::string folder;
  GetModuleDirectory(folder);
  return folder + "Infos";
}

}  // namespace

int ProgramFirmware(DeviceBackend& backend, const std::string& infosFolder,
                    const std::string& firmwarePath, const ConsoleWindowOptions& console) {
  ConsoleWindow window(console);
  ProgrammerDialog dialog(window, {backend.Dfu(), backend.Bus(), backend.GetClock(), infosFolder,
                                   [&backend](JobHost& host, const JobInputs& inputs) {
                                     ProgrammingJob(host, backend.Dfu(), backend.GetClock(),
                                                    inputs);
                                   }});
  dialog.OnInitDialog();
  // As if the operator typed the path and waited for its description.
  window.SetControlText(kIdFirmwarePath, firmwarePath);
  dialog.DescribeFirmware();
  InterruptCatcher interrupts;
  dialog.OnOK();
  if (!dialog.Busy()) return kExitFailed;
  window.RunUntil(dialog, [&dialog] { return !dialog.Busy(); });
  switch (dialog.RunStatus()) {
    case RunStatusSucceeded:
      return kExitOk;
    case RunStatusAborted:
      return kExitAborted;
    default:
      return kExitFailed;
  }
}

int RunProgram(const Invocation& invocation) {
  if (invocation.args.size() != 1 || invocation.args[0].empty()) {
    std::fputs("usage: kestrune [--simulate[=FILE]] [--infos DIR] program FILE\n", invocation.err);
    return kExitUsage;
  }
  std::unique_ptr<DeviceBackend> backend = MakeDeviceBackend(invocation.options, invocation.err);
  if (!backend) return kExitFailed;
  ConsoleWindowOptions console;
  console.out = invocation.out;
  console.err = invocation.err;
  console.answers = IsTerminal(stdin) ? stdin : nullptr;
  console.progressBar = IsTerminal(invocation.out);
  return ProgramFirmware(*backend, invocation.options.infosFolder.value_or(DefaultInfosFolder()),
                         invocation.args[0], console);
}

}  // namespace kestrune::cli
