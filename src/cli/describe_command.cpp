// `kestrune describe FILE`: the "Firmware-Infos" group as the dialog shows it, for a terminal.

#include <string>

#include "cli/cli.h"
#include "cli/input_file.h"
#include "cli/json_output.h"
#include "firmware/firmware_description.h"
#include "firmware/firmware_size.h"
#include "support/cp1252.h"

namespace kestrune::cli {
namespace {

// JSON names of the "Firmware-Infos" fields, in dialog order.
constexpr std::array<const char*, kFirmwareInfoControlCount> kJsonNames = {
    "kind", "version", "date", "checksum", "hardwareId", "osCpu", "fileSize"};

void PrintText(std::FILE* out, const FirmwareDescription& description) {
  std::string text;
  for (int k = 0; k < kFirmwareInfoControlCount; ++k) {
    text += kFirmwareInfoLabels[k];
    if (!description.controls[k].empty()) {
      text += ' ';
      text += description.controls[k];
    }
    text += '\n';
  }
  text += "FirmwareState : " + std::to_string(static_cast<int>(description.state)) + ' ' +
          FirmwareStateName(description.state) + '\n';
  std::fputs(Cp1252ToUtf8(text).c_str(), out);
}

void PrintJsonDescription(std::FILE* out, const std::string& path,
                          const FirmwareDescription& description) {
  Json document = {{"file", path},
                   {"valid", description.state == FirmwareState::Valid},
                   {"state", static_cast<int>(description.state)},
                   {"stateName", FirmwareStateName(description.state)}};
  for (int k = 0; k < kFirmwareInfoControlCount; ++k) {
    document[kJsonNames[k]] = JsonText(description.controls[k]);
  }
  PrintJson(out, document);
}

}  // namespace

int RunDescribe(const Invocation& invocation) {
  const std::string& path = invocation.args[0];
  if (const auto problem = CheckReadable("firmware file", path)) {
    if (invocation.options.json) {
      PrintJson(invocation.out, {{"file", path}, {"valid", false}, {"error", *problem}});
    }
    std::fprintf(invocation.err, "kestrune: %s\n", problem->c_str());
    return kExitRefused;
  }
  // Its size alone makes a file this large invalid: it is not read at all.
  if (const auto problem = CheckFirmwareSize(path, 0, kFirmwareSizeLimit - 1)) {
    if (invocation.options.json) {
      PrintJson(invocation.out, {{"file", path}, {"valid", false}, {"error", *problem}});
    }
    std::fprintf(invocation.err, "kestrune: %s\n", problem->c_str());
    return kExitFailed;
  }
  const FirmwareDescription description = DescribeFirmware(path.c_str());
  if (invocation.options.json) {
    PrintJsonDescription(invocation.out, path, description);
  } else {
    PrintText(invocation.out, description);
  }
  return description.state == FirmwareState::Valid ? kExitOk : kExitFailed;
}

}  // namespace kestrune::cli
