#include "cli/program_command.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>
#include <variant>

#include "cli/cli.h"
#include "cli/console_ledger.h"
#include "cli/console_lines.h"
#include "cli/console_run.h"
#include "cli/device_choice.h"
#include "cli/infos_folder.h"
#include "cli/input_file.h"
#include "cli/interrupt_catcher.h"
#include "cli/json_output.h"
#include "cli/program_all.h"
#include "cli/program_dry_run.h"
#include "device/device_listing.h"
#include "device/device_path.h"
#include "device/enumerate.h"
#include "firmware/firmware_description.h"
#include "firmware/firmware_size.h"
#include "job/flash_plan.h"
#include "job/program_start.h"
#include "job/programming_job.h"
#include "platform/console.h"
#include "platform/platform.h"

namespace kestrune::cli {
namespace {

JobDevice DeviceOf(Discovery& found) {
  return {found.deviceCount, found.devicePath, found.flashSize.value_or(0),
          std::shared_ptr<const MemoryMap>(std::move(found.memoryMap))};
}

// What the box's text does not say, where the device told more.
void PrintFailureReason(const ConsoleOptions& console, RunFailureReason reason) {
  const char* text = nullptr;
  switch (reason) {
    case RunFailureReason::ReadProtected:
      text =
          "the device is read-protected (level 1) and refuses every read and write; 'kestrune "
          "program --unprotect FILE' removes the protection, which erases the whole chip";
      break;
    case RunFailureReason::DeviceGone:
      text = "the device left the USB bus during the run";
      break;
    case RunFailureReason::Unknown:
      return;
  }
  ConsoleLines(console).PrintLine(console.err, std::string("kestrune: ") + text);
  if (console.errors != nullptr) console.errors->push_back(text);
}

// A check that refused the run, as the dialog's error box would say it.
void Refuse(const ConsoleOptions& console, const std::string& text) {
  ConsoleLines(console).PrintLine(console.err, "Fehler: " + text);
  if (console.errors != nullptr) console.errors->push_back(text);
}

int ExitStatusOf(const ConsoleOptions& console, const RunResult& result) {
  switch (result.outcome) {
    case RunOutcome::Succeeded:
      return result.logLineMissing || result.uniqueIdMissing ? kExitLogLineMissing : kExitOk;
    case RunOutcome::Aborted:
      return kExitAborted;
    default:
      PrintFailureReason(console, result.failureReason);
      return kExitFailed;
  }
}

}  // namespace

int ProgramFirmware(DeviceBackend& backend, DeviceBus& bus, const std::string& infosFolder,
                    const std::string& firmwarePath, const ConsoleOptions& console,
                    const std::function<void(RunControl*)>& serving, const ProgramChoices& choices,
                    ProgramReport* report) {
  StdfuLibrary& dfu = backend.Dfu();
  Clock& clock = backend.GetClock();
  Discovery found = Enumerate(dfu, bus, clock);
  if (report != nullptr) {
    report->device = RecordOf(found);
    report->usbSerialNumber = UsbSerialNumberOf(dfu, found);
  }
  const FirmwareDescription firmware = DescribeFirmware(firmwarePath.c_str());
  if (const std::optional<StartRefusal> refusal =
          CheckProgramStart(found.deviceCount, firmware.state)) {
    Refuse(console, StartRefusalText(*refusal));
    if (found.deviceCount > 1) {
      ConsoleLines(console).PrintLine(
          console.err,
          "kestrune: choose the device with --device, or program every one with --all");
    }
    return found.deviceCount != 1 ? kExitNoDevice : kExitRefused;
  }
  // The run plans again from what it reads; this refuses an image that cannot fit the part
  // before the run starts, as a refusal rather than a failed run. A device without data (it
  // could not be opened) is left to the run, which fails with its own message.
  if (found.memoryMap) {
    std::error_code sizeError;
    const auto fileSize = std::filesystem::file_size(firmwarePath, sizeError);
    const FlashPlanResult plan = MakeFlashPlan(sizeError ? 0 : static_cast<std::int64_t>(fileSize),
                                               found.memoryMap.get(), found.flashSize.value_or(0));
    if (const auto* refused = std::get_if<PlanRefused>(&plan)) {
      Refuse(console, RefusalText(*refused));
      return kExitRefused;
    }
  }
  if (choices.dryRun) {
    const RunControl control;
    return PrintProgramPlan(dfu, clock, DeviceOf(found), firmwarePath,
                            {choices.skipUnchanged, choices.unprotect}, console,
                            control.m_abortRequested);
  }
  JobInputs inputs;
  inputs.firmwarePath = firmwarePath;
  inputs.hardwareId = found.hardwareId.value_or("");
  inputs.device = DeviceOf(found);
  inputs.deviceKind = firmware.deviceKind;
  inputs.firmwareVersion = firmware.firmwareVersion;
  inputs.firmwareDate = firmware.firmwareDate;
  inputs.infosFolder = infosFolder;
  inputs.unprotect = choices.unprotect;
  inputs.leave = choices.leave;
  inputs.skipUnchanged = choices.skipUnchanged;
  inputs.recorder = choices.recorder;

  RunControl control;
  // Only the removal of the device being programmed counts.
  bus.SetListener(
      [&control, path = inputs.device.devicePath](DeviceEvent event, const std::string& removed) {
        if (event == DeviceEvent::Removal && SameDevicePath(removed, path)) {
          control.m_deviceRemoved = 1;
        }
      });
  ConsoleRun run(console, inputs.device, control, [&dfu, &bus, &clock] {
    Discovery again = Enumerate(dfu, bus, clock);
    return DeviceOf(again);
  });
  if (serving) serving(&control);
  std::optional<InterruptCatcher> interrupts;
  if (console.takesInterrupts) interrupts.emplace();
  // The run reports on its own thread; this one hands Ctrl-C over as the stop request.
  const auto start = std::chrono::steady_clock::now();
  std::atomic<bool> done{false};
  RunTimeline timeline(run);
  std::thread worker([&] {
    ProgrammingJob(timeline, control, dfu, clock, inputs);
    done = true;
  });
  while (!done) {
    if (interrupts && InterruptCatcher::Take()) control.m_abortRequested = 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  worker.join();
  if (report != nullptr) report->run = timeline.Times();
  if (serving) serving(nullptr);
  bus.SetListener({});
  if (console.progressBar || console.progressQuarters) {
    ConsoleLines(console).PrintLine(
        console.out,
        "total time " +
            ElapsedText(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()));
  }
  return ExitStatusOf(console, run.Result());
}

Json JsonProgramRun(int status, const std::vector<std::string>& errors,
                    const ProgramReport& report) {
  Json run = {{"outcome", OutcomeName(status)}, {"exitStatus", status}};
  run["device"] =
      report.device ? JsonDevice(*report.device, report.usbSerialNumber) : Json(nullptr);
  run["run"] = report.run ? JsonRun(*report.run) : Json(nullptr);
  run["errors"] = JsonErrors(errors);
  return run;
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

namespace {

// One device's run as its own document: the fields of a run of --all beside the document's own.
Json JsonProgram(const std::string& firmware, bool dryRun, int status,
                 const std::vector<std::string>& errors, const ProgramReport& report) {
  Json document = JsonDocument("program", status, errors);
  document["firmware"] = firmware;
  document["dryRun"] = dryRun;
  document.update(JsonProgramRun(status, errors, report));
  return document;
}

}  // namespace

int RunProgram(const Invocation& invocation) {
  const std::string& firmware = invocation.args[0];
  const bool json = invocation.options.json;
  const bool dryRun = invocation.Has("--dry-run");
  const auto fail = [&](int status, const std::string& error) {
    if (json) PrintJson(invocation.out, JsonProgram(firmware, dryRun, status, {error}, {}));
    std::fprintf(invocation.err, "kestrune: %s\n", error.c_str());
    return status;
  };
  if (invocation.Has("--all") && invocation.options.device) {
    std::fputs("kestrune: --all and --device exclude each other\nTry 'kestrune --help'.\n",
               invocation.err);
    return kExitUsage;
  }
  if (invocation.Has("--all") &&
      (invocation.Has("--unprotect") || invocation.Has("--leave") || invocation.Has("--dry-run"))) {
    std::fputs(
        "kestrune: --unprotect, --leave and --dry-run work on one device, not with --all\nTry "
        "'kestrune --help'.\n",
        invocation.err);
    return kExitUsage;
  }
  if (const auto problem = CheckReadable("firmware file", firmware)) {
    return fail(kExitRefused, *problem);
  }
  // Every check that needs no device comes before the first request to one.
  if (const auto problem =
          CheckFirmwareSize(firmware, kSmallestProgrammableImage, kLargestProgrammableImage)) {
    return fail(kExitRefused, *problem);
  }
  const std::string infosFolder = invocation.options.InfosFolder();
  if (const auto problem = PrepareInfosFolder(infosFolder, invocation.err)) {
    return fail(kExitRefused, *problem);
  }
  // A ledger that cannot be used is said here; the runs are then programmed and logged as without
  // one.
  ConsoleQuestions ledgerNotices(ConsoleOptionsFor(invocation.err, invocation.err));
  const ConsoleLedger ledger =
      OpenConsoleLedger(infosFolder, invocation.Value("--ledger"), ledgerNotices);
  std::unique_ptr<DeviceBackend> backend = MakeDeviceBackend(invocation.options, invocation.err);
  if (!backend) return fail(kExitRefused, "no device backend");
  if (invocation.Has("--all")) {
    return ProgramAll(*backend, infosFolder, firmware, invocation.out, invocation.err, json,
                      invocation.Has("--skip-unchanged"), ledger.recorder.get());
  }
  const DeviceChoice choice = ChooseDevice(*backend, invocation.options.device);
  if (!choice.device) return fail(kExitNoDevice, choice.error);

  // With --json the status lines go to stderr: stdout carries the JSON object alone.
  std::vector<std::string> errors;
  ConsoleOptions console =
      ConsoleOptionsFor(json ? invocation.err : invocation.out, invocation.err);
  // A bar on a terminal; a file or a pipe gets a line per quarter instead of redrawn bars.
  console.progressBar = !json && IsTerminal(invocation.out);
  console.progressQuarters = !json && !console.progressBar;
  console.columns = TerminalColumns(invocation.out);
  console.errors = &errors;
  const ProgramChoices choices{invocation.Has("--unprotect"), invocation.Has("--leave"),
                               invocation.Has("--skip-unchanged"), dryRun, ledger.recorder.get()};
  ProgramReport report;
  const int status = ProgramFirmware(*backend, choice.device->Bus(), infosFolder, firmware, console,
                                     {}, choices, &report);
  if (json) PrintJson(invocation.out, JsonProgram(firmware, dryRun, status, errors, report));
  return status;
}

}  // namespace kestrune::cli
