#include "cli/program_command.h"

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

#include "cli/cli.h"
#include "cli/console_ledger.h"
#include "cli/console_lines.h"
#include "cli/console_run.h"
#include "cli/device_choice.h"
#include "cli/input_file.h"
#include "cli/interrupt_catcher.h"
#include "cli/json_output.h"
#include "cli/program_all.h"
#include "device/device_listing.h"
#include "device/device_path.h"
#include "device/enumerate.h"
#include "firmware/firmware_description.h"
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
    ConsoleLines(console).PrintLine(console.err,
                                    std::string("Fehler: ") + StartRefusalText(*refusal));
    if (console.errors != nullptr) console.errors->push_back(StartRefusalText(*refusal));
    return found.deviceCount == 0 ? kExitNoDevice : kExitRefused;
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
Json JsonProgram(const std::string& firmware, int status, const std::vector<std::string>& errors,
                 const ProgramReport& report) {
  Json document = JsonDocument("program", status, errors);
  document["firmware"] = firmware;
  document.update(JsonProgramRun(status, errors, report));
  return document;
}

}  // namespace

int RunProgram(const Invocation& invocation) {
  const std::string& firmware = invocation.args[0];
  const bool json = invocation.options.json;
  const auto fail = [&](int status, const std::string& error) {
    if (json) PrintJson(invocation.out, JsonProgram(firmware, status, {error}, {}));
    std::fprintf(invocation.err, "kestrune: %s\n", error.c_str());
    return status;
  };
  if (invocation.Has("--all") && invocation.options.device) {
    std::fputs("kestrune: --all and --device exclude each other\nTry 'kestrune --help'.\n",
               invocation.err);
    return kExitUsage;
  }
  if (invocation.Has("--all") && (invocation.Has("--unprotect") || invocation.Has("--leave"))) {
    std::fputs(
        "kestrune: --unprotect and --leave work on one device, not with --all\nTry "
        "'kestrune --help'.\n",
        invocation.err);
    return kExitUsage;
  }
  if (const auto problem = CheckReadable("firmware file", firmware)) {
    return fail(kExitRefused, *problem);
  }
  // A ledger that cannot be used is said here; the runs are then programmed and logged as without
  // one.
  ConsoleQuestions ledgerNotices(ConsoleOptionsFor(invocation.err, invocation.err));
  const ConsoleLedger ledger = OpenConsoleLedger(invocation.options.InfosFolder(),
                                                 invocation.Value("--ledger"), ledgerNotices);
  std::unique_ptr<DeviceBackend> backend = MakeDeviceBackend(invocation.options, invocation.err);
  if (!backend) return fail(kExitRefused, "no device backend");
  if (invocation.Has("--all")) {
    return ProgramAll(*backend, invocation.options.InfosFolder(), firmware, invocation.out,
                      invocation.err, json, ledger.recorder.get());
  }
  const DeviceChoice choice = ChooseDevice(*backend, invocation.options.device);
  if (!choice.device) return fail(kExitNoDevice, choice.error);

  // With --json the status lines go to stderr: stdout carries the JSON object alone.
  std::vector<std::string> errors;
  ConsoleOptions console =
      ConsoleOptionsFor(json ? invocation.err : invocation.out, invocation.err);
  console.progressBar = !json && IsTerminal(invocation.out);
  console.errors = &errors;
  const ProgramChoices choices{invocation.Has("--unprotect"), invocation.Has("--leave"),
                               ledger.recorder.get()};
  ProgramReport report;
  const int status =
      ProgramFirmware(*backend, choice.device->Bus(), invocation.options.InfosFolder(), firmware,
                      console, {}, choices, &report);
  if (json) PrintJson(invocation.out, JsonProgram(firmware, status, errors, report));
  return status;
}

}  // namespace kestrune::cli
