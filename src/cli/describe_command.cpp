// `kestrune describe FILE`: the "Firmware-Infos" group as the dialog shows it, for a terminal.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/input_file.h"
#include "cli/json_output.h"
#include "firmware/firmware_description.h"
#include "firmware/firmware_image.h"
#include "support/cp1252.h"

namespace kestrune::cli {
namespace {

// The labels of the "Firmware-Infos" fields as the window shows them, in its order.
constexpr std::array<const char*, kFirmwareInfoFieldCount> kFirmwareInfoLabels = {
    "Geräteart :",   "Version :", "Datum :",    "Checksumme :",
    "Hardware-ID :", "OS/CPU :",  "File-Size :"};

void PrintText(std::FILE* out, const FirmwareDescription& description) {
  std::string text;
  for (int k = 0; k < kFirmwareInfoFieldCount; ++k) {
    text += kFirmwareInfoLabels[k];
    if (!description.texts[k].empty()) {
      text += ' ';
      text += description.texts[k];
    }
    text += '\n';
  }
  text += "FirmwareState : " + std::to_string(static_cast<int>(description.state)) + ' ' +
          FirmwareStateName(description.state) + '\n';
  std::fputs(Cp1252ToUtf8(text).c_str(), out);
}

// The fields the file's header gave, all null for a file without one.
Json JsonFirmware(const std::string& path, const FirmwareDescription* description, int status,
                  const std::vector<std::string>& errors) {
  Json document = JsonDocument("describe", status, errors);
  document["file"] = path;
  const bool header = description != nullptr && description->logTextsReplaced;
  const auto text = [header](const std::string& value) {
    return header ? JsonText(value) : Json(nullptr);
  };
  const FirmwareState state = description ? description->state : FirmwareState::NoFile;
  document["valid"] = state == FirmwareState::Valid;
  document["state"] = static_cast<int>(state);
  document["stateName"] = FirmwareStateName(state);
  document["kind"] = text(description ? description->deviceKind : "");
  document["version"] = text(description ? description->firmwareVersion : "");
  document["date"] = text(description ? description->firmwareDate : "");
  const std::optional<std::uint32_t> sum = description ? description->wordSum : std::nullopt;
  document["checksum"] = OrNull(sum);
  document["checksumOk"] = sum ? Json(*sum == kGoodWordSum) : Json(nullptr);
  const std::optional<std::uint8_t> code = description ? description->hardwareCode : std::nullopt;
  document["hardwareCode"] = OrNull(code);
  document["hardwareAccepted"] = code ? Json(IsAcceptedHardware(*code)) : Json(nullptr);
  document["osCpu"] = code ? Json(HardwareName(*code)) : Json(nullptr);
  document["fileBytes"] = description ? OrNull(description->fileBytes) : Json(nullptr);
  return document;
}

}  // namespace

int RunDescribe(const Invocation& invocation) {
  const std::string& path = invocation.args[0];
  if (const auto problem = CheckReadable("firmware file", path)) {
    if (invocation.options.json) {
      PrintJson(invocation.out, JsonFirmware(path, nullptr, kExitRefused, {*problem}));
    }
    std::fprintf(invocation.err, "kestrune: %s\n", problem->c_str());
    return kExitRefused;
  }
  const FirmwareDescription description = DescribeFirmware(path.c_str());
  const int status = description.state == FirmwareState::Valid ? kExitOk : kExitFailed;
  if (invocation.options.json) {
    std::vector<std::string> errors;
    if (status != kExitOk) errors.push_back(FirmwareStateName(description.state));
    PrintJson(invocation.out, JsonFirmware(path, &description, status, errors));
  } else {
    PrintText(invocation.out, description);
  }
  return status;
}

}  // namespace kestrune::cli
