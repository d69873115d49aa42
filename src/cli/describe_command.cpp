// `kestrune describe FILE`: the "Firmware-Infos" group as the dialog shows it, for a terminal.

#include <string>

#include "cli/cli.h"
#include "firmware/firmware_description.h"
#include "support/cp1252.h"

namespace kestrune::cli {

int RunDescribe(const Invocation& invocation) {
  if (invocation.args.size() != 1) {
    std::fputs("usage: kestrune describe FILE\n", invocation.err);
    return kExitUsage;
  }
  const FirmwareDescription description = DescribeFirmware(invocation.args[0].c_str());
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
  std::fputs(Cp1252ToUtf8(text).c_str(), invocation.out);
  return description.state == FirmwareState::Valid ? kExitOk : kExitFailed;
}

}  // namespace kestrune::cli
