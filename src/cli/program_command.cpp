#include "cli/program_command.h"

#include "app/control_ids.h"
#include "app/programmer_dialog.h"
#include "cli/cli.h"
#include "job/programming_job.h"
#include "job/run_commands.h"
#include "platform/console.h"
#include "platform/platform.h"

namespace kestrune::cli {

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
      return dialog.LogLineMissing() ? kExitLogLineMissing : kExitOk;
    case RunStatusAborted:
      return kExitAborted;
    default:
      return kExitFailed;
  }
}

int RunProgram(const Invocation& invocation) {
  if (invocation.args.size() != 1 || invocation.args[0].empty()) {
    std::fputs(
        "usage: kestrune [--simulate[=FILE]] [--infos DIR] program FILE\n"
        "  exit status: 0 programmed and verified, 1 refused or failed, 3 stopped (Ctrl-C),\n"
        "  4 programmed and verified but its line in Infos/DownloadList.csv could not be written\n",
        invocation.err);
    return kExitUsage;
  }
  std::unique_ptr<DeviceBackend> backend = MakeDeviceBackend(invocation.options, invocation.err);
  if (!backend) return kExitFailed;
  ConsoleWindowOptions console = ConsoleOptionsFor(invocation.out, invocation.err);
  console.progressBar = IsTerminal(invocation.out);
  return ProgramFirmware(*backend, invocation.options.InfosFolder(), invocation.args[0], console);
}

}  // namespace kestrune::cli
