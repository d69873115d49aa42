#include "cli/set_identity_command.h"

#include <charconv>
#include <cstdio>
#include <vector>

#include "app/mac_setzen.h"
#include "app/serial_number_dialog.h"
#include "cli/cli.h"
#include "cli/info_command.h"
#include "device/enumerate.h"
#include "platform/platform.h"
#include "serials/range_files.h"
#include "support/cp1252.h"

namespace kestrune::cli {
namespace {

const char kUsage[] =
    "usage: kestrune [--simulate[=FILE]] [--infos DIR] set-identity [--serial N] [--yes]\n"
    "                [--outside-ranges]\n"
    "  N: serial number 0 .. 16777215 (default: the one in Infos/NextSerial.cfg)\n"
    "  --yes: confirm the assignment, and replace an identity the device holds, without asking\n"
    "  --outside-ranges: give a serial number outside every range of Infos/MacList.cfg (its MAC\n"
    "    addresses continue the first range's); without it, --yes refuses such a number\n";

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

}  // namespace

int SetIdentity(DeviceBackend& backend, const std::string& infosFolder,
                const SetIdentityRequest& request, const ConsoleWindowOptions& console) {
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
    return kExitFailed;
  }
  std::int32_t proposed = 0;
  if (request.serial) {
    proposed = *request.serial;
  } else {
    const NextSerialLoad next = LoadNextSerial(infosFolder + "/NextSerial.cfg", ranges);
    ShowWarnings(window, next.warnings);
    proposed = next.nextSerial;
  }

  const Discovery found = Enumerate(backend.Dfu(), backend.Bus(), backend.GetClock());
  const OtpImage otpImage = found.otpImage.value_or(OtpImage{});
  RunShared shared;
  int rescanRequested = 0;
  MacSetzenState state{ranges,   proposed, found.identityState, found.devicePath,
                       otpImage, shared,   rescanRequested};
  const SerialNumberDialogRunner runDialog = [&](SerialNumberDialog& dialog) {
    return ConfirmSerialNumber(dialog, window, consoleWindow, answers, console.out);
  };
  const MacSetzenResult result =
      MacSetzen({window, backend.Dfu(), backend.GetClock(), runDialog}, state);
  if (result.outcome != MacSetzenOutcome::Written) return kExitFailed;

  PrintText(console.out, "Block " + std::to_string(result.block) + " geschrieben und geprüft.\n");
  PrintDeviceInfo(backend, console.out);
  return kExitOk;
}

int RunSetIdentity(const Invocation& invocation) {
  SetIdentityRequest request;
  for (std::size_t i = 0; i < invocation.args.size(); ++i) {
    const std::string& arg = invocation.args[i];
    std::int32_t serial = 0;
    if (arg == "--yes") {
      request.yes = true;
    } else if (arg == "--outside-ranges") {
      request.outsideRanges = true;
    } else if (arg == "--serial" && i + 1 < invocation.args.size() &&
               ParseSerial(invocation.args[i + 1], serial)) {
      request.serial = serial;
      ++i;
    } else {
      std::fputs(kUsage, invocation.err);
      return kExitUsage;
    }
  }
  std::unique_ptr<DeviceBackend> backend = MakeDeviceBackend(invocation.options, invocation.err);
  if (!backend) return kExitFailed;
  ConsoleWindowOptions console = ConsoleOptionsFor(invocation.out, invocation.err);
  return SetIdentity(*backend, invocation.options.InfosFolder(), request, console);
}

}  // namespace kestrune::cli
