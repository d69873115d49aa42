#include "cli/set_identity_command.h"

#include <charconv>
#include <cstdio>
#include <vector>

#include "app/mac_setzen.h"
#include "app/operator_box.h"
#include "app/serial_number_dialog.h"
#include "cli/cli.h"
#include "cli/device_choice.h"
#include "cli/info_command.h"
#include "cli/json_output.h"
#include "device/enumerate.h"
#include "ledger/station_choice.h"
#include "ledger/station_ledger.h"
#include "platform/platform.h"
#include "serials/range_files.h"
#include "support/cp1252.h"

namespace kestrune::cli {
namespace {

struct Answers {
  bool yes = false;
  bool outsideRanges = false;
};

// A serial number outside every range takes MAC addresses nobody handed to this bench: with the
// questions answered in advance it needs its own consent.
void RefuseOutsideRanges(Window& console) {
  console.ShowMessageBox("Fehler",
                         "Eine Seriennummer außerhalb der Bereiche aus ./Infos/MacList.cfg wird "
                         "nur mit --outside-ranges vergeben !",
                         MessageButtons::Ok, MessageIcon::Stop);
}

// The console window, except that the options answer questions in advance. The flow asks three:
// the replacement question (Yes/No), whether to go on with a number outside every range (a
// warning with OK/Cancel) and the confirmation of the serial-number dialog (a question with
// OK/Cancel). --yes answers the first and the last; only --outside-ranges answers the second.
class AnsweringWindow final : public Window {
 public:
  AnsweringWindow(Window& console, Answers answers, const ConsoleWindowOptions& options)
      : m_console(console), m_answers(answers), m_options(options) {}

  void SetControlText(int id, std::string_view text) override {
    m_console.SetControlText(id, text);
  }
  std::string ControlText(int id) override { return m_console.ControlText(id); }
  void EnableControl(int id, bool enabled) override { m_console.EnableControl(id, enabled); }
  void ShowControl(int id, bool shown) override { m_console.ShowControl(id, shown); }
  void RepaintControl(int id) override { m_console.RepaintControl(id); }
  std::vector<std::string> ComboItems(int id) override { return m_console.ComboItems(id); }
  int ComboSelection(int id) override { return m_console.ComboSelection(id); }
  void ClearComboItems(int id) override { m_console.ClearComboItems(id); }
  void AddComboItem(int id, std::string_view text) override { m_console.AddComboItem(id, text); }
  void SetProgressRange(int id, std::uint16_t upper) override {
    m_console.SetProgressRange(id, upper);
  }
  void SetProgressPosition(int id, int position) override {
    m_console.SetProgressPosition(id, position);
  }
  MessageResult ShowMessageBox(std::string_view caption, std::string_view text,
                               MessageButtons buttons, MessageIcon icon) override {
    const bool outsideQuestion =
        buttons == MessageButtons::OkCancel && icon == MessageIcon::Warning;
    const bool answered =
        outsideQuestion ? m_answers.yes || m_answers.outsideRanges : m_answers.yes;
    if (buttons == MessageButtons::Ok || !answered) {
      return m_console.ShowMessageBox(caption, text, buttons, icon);
    }
    m_console.ShowMessageBox(caption, text, MessageButtons::Ok, icon);
    if (outsideQuestion && !m_answers.outsideRanges) {
      RefuseOutsideRanges(m_console);
      return MessageResult::Cancel;
    }
    const bool toErr = icon == MessageIcon::Stop || icon == MessageIcon::Warning;
    std::fputs(outsideQuestion ? "Antwort: OK (--outside-ranges)\n" : "Antwort: Ja (--yes)\n",
               toErr ? m_options.err : m_options.out);
    return buttons == MessageButtons::YesNo ? MessageResult::Yes : MessageResult::Ok;
  }
  std::optional<std::string> ChooseFile(const FileDialogRequest& request) override {
    return m_console.ChooseFile(request);
  }
  void StartTimer(int id, std::uint32_t periodMs) override { m_console.StartTimer(id, periodMs); }
  void PostCommand(int id) override { m_console.PostCommand(id); }
  void PostDeviceChange(DeviceEvent event, const std::string& path) override {
    m_console.PostDeviceChange(event, path);
  }
  void EndDialog(int result) override { m_console.EndDialog(result); }

 private:
  Window& m_console;
  Answers m_answers;
  ConsoleWindowOptions m_options;
};

void PrintText(std::FILE* out, const std::string& text) {
  std::fputs(Cp1252ToUtf8(text).c_str(), out);
}

void ShowWarnings(Window& window, const std::vector<OperatorMessage>& warnings) {
  for (const OperatorMessage& warning : warnings) {
    window.ShowMessageBox(warning.caption, warning.text, MessageButtons::Ok, MessageIcon::Warning);
  }
}

// The serial-number dialog on the console: its fields as the dialog would show them, then OK or
// Abbrechen. A proposal outside every range is asked about before; this catches one that only
// its low 24 bits, the ones stored, take out of the ranges.
bool ConfirmSerialNumber(SerialNumberDialog& dialog, Window& window, Window& console,
                         Answers answers, std::FILE* out) {
  dialog.OnInitDialog();
  if (!dialog.m_recordFilled) return false;
  PrintText(out, "Seriennummer einstellen\n");
  PrintText(out,
            "  Seriennummer : " + dialog.m_serialText +
                (dialog.m_inRange == 1 ? "  (im Bereich aus ./Infos/MacList.cfg)\n"
                                       : "  (außerhalb der Bereiche aus ./Infos/MacList.cfg)\n"));
  PrintText(out, "  Vergabe am : " + dialog.m_dateText + "\n");
  PrintText(out, "  MAC A : " + dialog.m_macAText + "\n");
  PrintText(out, "  MAC B : " + dialog.m_macBText + "\n");
  if (dialog.m_inRange != 1 && answers.yes && !answers.outsideRanges) {
    RefuseOutsideRanges(console);
    return false;
  }
  return window.ShowMessageBox("Seriennummer einstellen", "Diese Seriennummer vergeben ?",
                               MessageButtons::OkCancel,
                               MessageIcon::Question) == MessageResult::Ok;
}

bool ParseSerial(const std::string& text, std::int32_t& serial) {
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, serial);
  return error == std::errc() && stop == end && serial >= 0 &&
         serial <= static_cast<std::int32_t>(kMaxSerialNumber);
}

// What the end of "MAC setzen" means for a script.
int ExitStatus(MacSetzenOutcome outcome, int deviceCount) {
  switch (outcome) {
    case MacSetzenOutcome::Written:
      return kExitOk;
    case MacSetzenOutcome::OpenFailed:
      return deviceCount == 0 ? kExitNoDevice : kExitFailed;
    case MacSetzenOutcome::SelectFailed:
    case MacSetzenOutcome::WriteFailed:
    case MacSetzenOutcome::ReadBackFailed:
    case MacSetzenOutcome::Differs:
    case MacSetzenOutcome::NotRead:
      return kExitFailed;
    default:
      return kExitRefused;
  }
}

}  // namespace

int SetIdentity(DeviceBackend& backend, DeviceBus& bus, const std::string& infosFolder,
                const SetIdentityRequest& request, const ConsoleWindowOptions& console,
                IdentityWritten* written, const std::optional<std::string>& ledgerOption) {
  ConsoleWindow consoleWindow(console);
  const Answers answers{request.yes, request.outsideRanges};
  AnsweringWindow window(consoleWindow, answers, console);

  RecordArray ranges;
  const std::string listPath = infosFolder + "/MacList.cfg";
  const MacRangeLoad load = LoadMacRanges(listPath, ranges);
  ShowWarnings(window, load.warnings);
  if (!load.usable) {
    const std::string reason =
        load.warnings.empty()
            ? listPath + " fehlt oder kann nicht gelesen werden: \"MAC setzen\" ist nicht möglich !"
            : listPath + " ist nicht verwendbar: \"MAC setzen\" ist nicht möglich !";
    window.ShowMessageBox("Fehler", reason, MessageButtons::Ok, MessageIcon::Stop);
    return kExitRefused;
  }
  const LedgerChoice ledgerChoice = ChooseLedger(infosFolder, ledgerOption);
  ShowWarnings(window, ledgerChoice.warnings);
  OperatorMessage refusal;
  const std::unique_ptr<StationLedger> ledger = OpenStationLedger(ledgerChoice, refusal);
  if (!ledger && !refusal.text.empty()) {
    ShowOperatorMessage(window, refusal);
    return kExitRefused;
  }
  std::int32_t proposed = 0;
  if (request.serial) {
    proposed = *request.serial;
  } else {
    const NextSerialLoad next = LoadNextSerial(infosFolder + "/NextSerial.cfg", ranges);
    ShowWarnings(window, next.warnings);
    proposed = next.nextSerial;
  }

  const Discovery found = Enumerate(backend.Dfu(), bus, backend.GetClock());
  const OtpImage otpImage = found.otpImage.value_or(OtpImage{});
  RunShared shared;
  int rescanRequested = 0;
  MacSetzenState state{ranges,   proposed, found.identityState, found.devicePath,
                       otpImage, shared,   rescanRequested};
  const std::string uniqueId = found.hardwareId.value_or("");
  state.ledger = ledger.get();
  state.ledgerProposes = !request.serial;
  state.uniqueId = &uniqueId;
  const SerialNumberDialogRunner runDialog = [&](SerialNumberDialog& dialog) {
    return ConfirmSerialNumber(dialog, window, consoleWindow, answers, console.out);
  };
  const MacSetzenResult result =
      MacSetzen({window, backend.Dfu(), backend.GetClock(), runDialog}, state);
  if (result.outcome != MacSetzenOutcome::Written) {
    return ExitStatus(result.outcome, found.deviceCount);
  }
  if (written != nullptr) {
    written->block = result.block;
    written->serial = static_cast<std::int32_t>(DecodeIdentity(result.record.data())->serialNumber);
  }
  PrintText(console.out, "Block " + std::to_string(result.block) + " geschrieben und geprüft.\n");
  PrintDeviceInfo(backend, bus, console.out);
  return kExitOk;
}

int RunSetIdentity(const Invocation& invocation) {
  SetIdentityRequest request;
  request.yes = invocation.Has("--yes");
  request.outsideRanges = invocation.Has("--outside-ranges");
  if (invocation.Has("--serial")) {
    std::int32_t serial = 0;
    const std::string& text = invocation.commandOptions.at("--serial");
    if (!ParseSerial(text, serial)) {
      std::fprintf(invocation.err,
                   "kestrune: --serial '%s' is not a serial number 0 .. 16777215\n"
                   "Try 'kestrune set-identity --help'.\n",
                   text.c_str());
      return kExitUsage;
    }
    request.serial = serial;
  }
  const bool json = invocation.options.json;
  std::vector<std::string> errors;
  const auto finish = [&](int status, const IdentityWritten* written) {
    if (!json) return status;
    Json document = {{"ok", status == kExitOk}, {"exitStatus", status}};
    document["block"] = written ? Json(written->block) : Json(nullptr);
    document["serialNumber"] = written ? Json(written->serial) : Json(nullptr);
    document["errors"] = Json::array();
    for (const std::string& error : errors) document["errors"].push_back(JsonText(error));
    PrintJson(invocation.out, document);
    return status;
  };
  std::unique_ptr<DeviceBackend> backend = MakeDeviceBackend(invocation.options, invocation.err);
  if (!backend) return finish(kExitRefused, nullptr);
  const DeviceChoice choice = ChooseDevice(*backend, invocation.options.device);
  if (!choice.device) {
    std::fprintf(invocation.err, "kestrune: %s\n", choice.error.c_str());
    errors.push_back(choice.error);
    return finish(kExitNoDevice, nullptr);
  }
  // With --json the dialog's texts go to stderr: stdout carries the JSON object alone.
  ConsoleWindowOptions console =
      ConsoleOptionsFor(json ? invocation.err : invocation.out, invocation.err);
  console.errors = &errors;
  IdentityWritten written;
  const int status = SetIdentity(*backend, choice.device->Bus(), invocation.options.InfosFolder(),
                                 request, console, &written, invocation.Value("--ledger"));
  return finish(status, status == kExitOk ? &written : nullptr);
}

}  // namespace kestrune::cli
