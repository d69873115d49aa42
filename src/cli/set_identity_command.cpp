#include "cli/set_identity_command.h"

#include <cstdio>
#include <vector>

#include "app/mac_setzen.h"
#include "app/serial_number_dialog.h"
#include "cli/cli.h"
#include "cli/console_ledger.h"
#include "cli/console_questions.h"
#include "cli/device_choice.h"
#include "cli/info_command.h"
#include "cli/interrupt_catcher.h"
#include "cli/json_output.h"
#include "device/device_listing.h"
#include "device/device_record.h"
#include "device/enumerate.h"
#include "platform/platform.h"
#include "serials/range_files.h"
#include "support/cp1252.h"
#include "support/whole_number.h"

namespace kestrune::cli {
namespace {

struct Answers {
  bool yes = false;
  bool outsideRanges = false;
};

// A serial number outside every range takes MAC addresses nobody handed to this bench: with the
// questions answered in advance it needs its own consent.
void RefuseOutsideRanges(ConsoleQuestions& console) {
  console.ShowMessageBox("Fehler",
                         "Eine Seriennummer außerhalb der Bereiche aus ./Infos/MacList.cfg wird "
                         "nur mit --outside-ranges vergeben !",
                         MessageButtons::Ok, MessageIcon::Stop);
}

void PrintText(std::FILE* out, const std::string& text) {
  std::fputs(Cp1252ToUtf8(text).c_str(), out);
}

// The command line's operator: questions are asked on the terminal, unless the options answer
// them in advance. --yes answers the replacement question and the confirmation of the record;
// only --outside-ranges answers whether to go on with a number outside every range.
class ConsoleIdentityOperator final : public IdentityOperator {
 public:
  ConsoleIdentityOperator(ConsoleQuestions& console, Answers answers, const ConsoleOptions& options)
      : m_console(console), m_answers(answers), m_options(options) {}

  bool ReplaceIdentity() override {
    return Ask(kQuestionCaption, kReplaceIdentityQuestion, MessageButtons::YesNo,
               MessageIcon::Warning, m_answers.yes);
  }

  bool AcceptSerialOutsideRanges() override {
    if (!m_answers.yes && !m_answers.outsideRanges) {
      return m_console.ShowMessageBox(kQuestionCaption, kOutsideRangesQuestion,
                                      MessageButtons::OkCancel, MessageIcon::Warning,
                                      "--outside-ranges answers it") == MessageResult::Ok;
    }
    m_console.ShowMessageBox(kQuestionCaption, kOutsideRangesQuestion, MessageButtons::Ok,
                             MessageIcon::Warning);
    if (!m_answers.outsideRanges) {
      RefuseOutsideRanges(m_console);
      return false;
    }
    std::fputs("Antwort: OK (--outside-ranges)\n", m_options.err);
    return true;
  }

  // The serial-number dialog on the console: its fields as the dialog would show them, then OK
  // or Abbrechen. A proposal outside every range is asked about before; this catches one that
  // only its low 24 bits, the ones stored, take out of the ranges.
  bool ConfirmRecord(SerialNumberDialog& dialog) override {
    dialog.OnInitDialog();
    if (!dialog.m_recordFilled) return false;
    // The record belongs to its question: on the terminal that answers it.
    std::FILE* out =
        m_answers.yes ? m_options.out : m_console.QuestionStream(MessageIcon::Question);
    PrintText(out, "Seriennummer einstellen\n");
    PrintText(out,
              "  Seriennummer : " + dialog.m_serialText +
                  (dialog.m_inRange == 1 ? "  (im Bereich aus ./Infos/MacList.cfg)\n"
                                         : "  (außerhalb der Bereiche aus ./Infos/MacList.cfg)\n"));
    PrintText(out, "  Vergabe am : " + dialog.m_dateText + "\n");
    PrintText(out, "  MAC A : " + dialog.m_macAText + "\n");
    PrintText(out, "  MAC B : " + dialog.m_macBText + "\n");
    if (dialog.m_inRange != 1 && m_answers.yes && !m_answers.outsideRanges) {
      RefuseOutsideRanges(m_console);
      return false;
    }
    return Ask("Seriennummer einstellen", "Diese Seriennummer vergeben ?", MessageButtons::OkCancel,
               MessageIcon::Question, m_answers.yes);
  }

  void Tell(IdentityNotice notice) override { ShowOperatorMessage(m_console, TextOf(notice)); }

  void Tell(const OperatorMessage& message) override { ShowOperatorMessage(m_console, message); }

 private:
  // The question on the terminal, or, answered by --yes, its text and the answer.
  bool Ask(const char* caption, const char* text, MessageButtons buttons, MessageIcon icon,
           bool answered) {
    const MessageResult yes =
        buttons == MessageButtons::YesNo ? MessageResult::Yes : MessageResult::Ok;
    if (!answered) {
      return m_console.ShowMessageBox(caption, text, buttons, icon, "--yes answers it") == yes;
    }
    if (m_console.TakeInterrupt()) return false;
    m_console.ShowMessageBox(caption, text, MessageButtons::Ok, icon);
    std::fputs("Antwort: Ja (--yes)\n",
               icon == MessageIcon::Question ? m_options.out : m_options.err);
    return true;
  }

  ConsoleQuestions& m_console;
  Answers m_answers;
  const ConsoleOptions& m_options;
};

void ShowWarnings(ConsoleQuestions& questions, const std::vector<OperatorMessage>& warnings) {
  for (const OperatorMessage& warning : warnings) {
    ShowOperatorMessage(questions, warning);
  }
}

bool ParseSerial(const std::string& text, std::int32_t& serial) {
  const std::optional<std::int32_t> parsed = ParseWholeNumber<std::int32_t>(text);
  if (!parsed || *parsed > static_cast<std::int32_t>(kMaxSerialNumber)) return false;
  serial = *parsed;
  return true;
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

// How the questions and refusals name a device: what its label and its USB descriptor say.
std::string DeviceName(const ListedDevice& device) {
  const std::string uniqueId = device.discovery.hardwareId.value_or("");
  return "unique ID " + (uniqueId.empty() ? std::string("unknown") : uniqueId) + ", USB serial " +
         (device.usbSerialNumber.empty() ? std::string("none") : device.usbSerialNumber) + ", " +
         device.path;
}

}  // namespace

int SetIdentity(DeviceBackend& backend, DeviceBus& bus, const std::string& infosFolder,
                const SetIdentityRequest& request, const ConsoleOptions& console,
                IdentityWritten* written) {
  ConsoleQuestions questions(console);
  ConsoleIdentityOperator asker(questions, {request.yes, request.outsideRanges}, console);

  RecordArray ranges;
  const std::string listPath = infosFolder + "/MacList.cfg";
  const MacRangeLoad load = LoadMacRanges(listPath, ranges);
  ShowWarnings(questions, load.warnings);
  if (!load.usable) {
    const std::string reason =
        load.warnings.empty()
            ? listPath + " fehlt oder kann nicht gelesen werden: \"MAC setzen\" ist nicht möglich !"
            : listPath + " ist nicht verwendbar: \"MAC setzen\" ist nicht möglich !";
    questions.ShowMessageBox("Fehler", reason, MessageButtons::Ok, MessageIcon::Stop);
    return kExitRefused;
  }
  std::int32_t proposed = 0;
  if (request.serial) {
    proposed = *request.serial;
  } else {
    const NextSerialLoad next = LoadNextSerial(infosFolder + "/NextSerial.cfg", ranges);
    ShowWarnings(questions, next.warnings);
    // A proposal the counter file did not vouch for is, on a line, most likely a serial number
    // already given to another device: nobody answered for it, so --yes does not either.
    if (request.yes && (!next.fromFile || !next.warnings.empty())) {
      std::fputs(
          "kestrune: --yes gives no serial number that NextSerial.cfg did not propose cleanly; "
          "choose one with --serial\n",
          console.err);
      return kExitRefused;
    }
    proposed = next.nextSerial;
  }

  const ConsoleLedger ledger = OpenConsoleLedger(infosFolder, request.ledger, questions);
  if (ledger.refused) return kExitRefused;

  const Discovery found = Enumerate(backend.Dfu(), bus, backend.GetClock());
  const OtpImage otpImage = found.otpImage.value_or(OtpImage{});
  RunShared shared;
  int rescanRequested = 0;
  if (!request.deviceName.empty()) {
    // With the record it names: on the terminal where it is asked about.
    PrintText(request.yes ? console.out : questions.QuestionStream(MessageIcon::Question),
              "Device: " + request.deviceName + "\n");
  }
  MacSetzenState state{ranges,   proposed, found.identityState, found.devicePath,
                       otpImage, shared,   rescanRequested};
  const std::string uniqueId = found.hardwareId.value_or("");
  state.ledger = ledger.ledger.get();
  state.ledgerProposes = !request.serial;
  state.uniqueId = &uniqueId;
  const MacSetzenResult result = MacSetzen({asker, backend.Dfu(), backend.GetClock(), {}}, state);
  if (result.outcome != MacSetzenOutcome::Written) {
    // Ctrl-C answers a question with its refusal, so nothing was written.
    if (questions.Interrupted()) {
      PrintText(console.err, "... User-Abbruch ...\n");
      return kExitAborted;
    }
    return ExitStatus(result.outcome, found.deviceCount);
  }
  if (written != nullptr) {
    written->block = result.block;
    written->identity = *DecodeIdentity(result.record.data());
  }
  PrintText(console.out, "Block " + std::to_string(result.block) + " geschrieben und geprüft.\n");
  PrintDeviceInfo(backend, bus, console.out, console.err);
  return kExitOk;
}

int RunSetIdentity(const Invocation& invocation) {
  SetIdentityRequest request;
  request.yes = invocation.Has("--yes");
  request.outsideRanges = invocation.Has("--outside-ranges");
  request.ledger = invocation.Value("--ledger");
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
  Json chosen = nullptr;  // the device as listed before the write
  const auto finish = [&](int status, const IdentityWritten* written) {
    if (!json) return status;
    Json document = JsonDocument("set-identity", status, errors);
    document["device"] = chosen;
    document["otpBlock"] = written ? Json(written->block) : Json(nullptr);
    document.update(written ? JsonIdentity(written->identity) : JsonIdentity(std::nullopt));
    document["errors"] = JsonErrors(errors);
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
  // OTP cannot be erased: it is written only on a device somebody chose, and the questions say
  // which one.
  const std::vector<ListedDevice> attached =
      ListDevices(backend->Dfu(), choice.device->Bus(), backend->GetClock());
  if (attached.size() > 1) {
    std::string error = std::to_string(attached.size()) +
                        " devices are attached; choose the one to write with --device:";
    for (const ListedDevice& device : attached) error += "\n  " + DeviceName(device);
    std::fprintf(invocation.err, "kestrune: %s\n", error.c_str());
    errors.push_back(error);
    return finish(kExitNoDevice, nullptr);
  }
  if (attached.size() == 1) {
    request.deviceName = DeviceName(attached[0]);
    chosen = JsonDevice(RecordOf(attached[0].discovery), attached[0].usbSerialNumber);
  }
  // With --json the dialog's texts go to stderr: stdout carries the JSON object alone.
  ConsoleOptions console =
      ConsoleOptionsFor(json ? invocation.err : invocation.out, invocation.err);
  console.errors = &errors;
  IdentityWritten written;
  // Ctrl-C stops the command at a question; during the OTP write it waits for the write's end.
  const InterruptCatcher interrupts;
  const int status = SetIdentity(*backend, choice.device->Bus(), invocation.options.InfosFolder(),
                                 request, console, &written);
  return finish(status, status == kExitOk ? &written : nullptr);
}

}  // namespace kestrune::cli
