#include "cli/program_command.h"

#include <chrono>

#include "app/control_ids.h"
#include "app/programmer_dialog.h"
#include "app/run_commands.h"
#include "cli/cli.h"
#include "cli/device_choice.h"
#include "cli/input_file.h"
#include "cli/json_output.h"
#include "cli/program_all.h"
#include "device/device_listing.h"
#include "job/programming_job.h"
#include "platform/console.h"
#include "platform/platform.h"

namespace kestrune::cli {

int ProgramFirmware(DeviceBackend& backend, DeviceBus& bus, const std::string& infosFolder,
                    const std::string& firmwarePath, const ConsoleWindowOptions& console,
                    const std::function<void(ConsoleWindow*)>& serving) {
  ConsoleWindow window(console);
  // Declared after the window, so that it says "gone" before the window goes.
  struct Serving {
    const std::function<void(ConsoleWindow*)>& tell;
    ~Serving() {
      if (tell) tell(nullptr);
    }
  } servingGuard{serving};
  ProgrammerDialog dialog(
      window, {backend.Dfu(), bus, backend.GetClock(), infosFolder,
               [&backend](RunEvents& events, const RunControl& control, const JobInputs& inputs) {
                 ProgrammingJob(events, control, backend.Dfu(), backend.GetClock(), inputs);
               }});
  dialog.OnInitDialog();
  // As if the operator typed the path and waited for its description.
  window.SetControlText(kIdFirmwarePath, firmwarePath);
  dialog.DescribeFirmware();
  std::optional<InterruptCatcher> interrupts;
  if (console.takesInterrupts) interrupts.emplace();
  if (serving) serving(&window);
  const auto start = std::chrono::steady_clock::now();
  dialog.OnOK();
  if (!dialog.Busy()) return dialog.DeviceCount() == 0 ? kExitNoDevice : kExitRefused;
  window.RunUntil(dialog, [&dialog] { return !dialog.Busy(); });
  if (console.progressBar || console.progressQuarters) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(console.out, "%stotal time %s\n", console.linePrefix.c_str(),
                 ElapsedText(seconds).c_str());
  }
  switch (dialog.RunStatus()) {
    case RunStatusSucceeded:
      return dialog.LogLineMissing() ? kExitLogLineMissing : kExitOk;
    case RunStatusAborted:
      return kExitAborted;
    default:
      return kExitFailed;
  }
}

const char* OutcomeName(int status) {
  switch (status) {
    case kExitOk:
      return "succeeded";
    case kExitLogLineMissing:
      return "logLineMissing";
    case kExitAborted:
      return "aborted";
    case kExitRefused:
      return "refused";
    case kExitNoDevice:
      return "noDevice";
    default:
      return "failed";
  }
}

int RunProgram(const Invocation& invocation) {
  const std::string& firmware = invocation.args[0];
  const bool json = invocation.options.json;
  const auto fail = [&](int status, const std::string& error) {
    if (json) {
      PrintJson(invocation.out, {{"ok", false},
                                 {"outcome", OutcomeName(status)},
                                 {"exitStatus", status},
                                 {"firmware", firmware},
                                 {"errors", {error}}});
    }
    std::fprintf(invocation.err, "kestrune: %s\n", error.c_str());
    return status;
  };
  if (invocation.Has("--all") && invocation.options.device) {
    std::fputs("kestrune: --all and --device exclude each other\nTry 'kestrune --help'.\n",
               invocation.err);
    return kExitUsage;
  }
  if (const auto problem = CheckReadable("firmware file", firmware)) {
    return fail(kExitRefused, *problem);
  }
  std::unique_ptr<DeviceBackend> backend = MakeDeviceBackend(invocation.options, invocation.err);
  if (!backend) return fail(kExitRefused, "no device backend");
  if (invocation.Has("--all")) {
    return ProgramAll(*backend, invocation.options.InfosFolder(), firmware, invocation.out,
                      invocation.err, json);
  }
  const DeviceChoice choice = ChooseDevice(*backend, invocation.options.device);
  if (!choice.device) return fail(kExitNoDevice, choice.error);

  // With --json the status lines go to stderr: stdout carries the JSON object alone.
  std::vector<std::string> errors;
  ConsoleWindowOptions console =
      ConsoleOptionsFor(json ? invocation.err : invocation.out, invocation.err);
  console.progressBar = !json && IsTerminal(invocation.out);
  console.progressBytes = static_cast<std::uint32_t>(GetPlainFileSize(firmware.c_str()));
  console.errors = &errors;
  const std::vector<std::string> paths = PresentDevicePaths(choice.device->Bus());
  const int status = ProgramFirmware(*backend, choice.device->Bus(),
                                     invocation.options.InfosFolder(), firmware, console);
  if (json) {
    Json document = {{"ok", status == kExitOk},
                     {"outcome", OutcomeName(status)},
                     {"exitStatus", status},
                     {"firmware", firmware}};
    document["device"] = paths.size() == 1 ? Json(paths[0]) : Json(nullptr);
    document["errors"] = Json::array();
    for (const std::string& error : errors) document["errors"].push_back(JsonText(error));
    PrintJson(invocation.out, document);
  }
  return status;
}

}  // namespace kestrune::cli
