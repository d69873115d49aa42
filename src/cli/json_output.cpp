#include "cli/json_output.h"

#include "cli/cli.h"
#include "support/cp1252.h"

namespace kestrune::cli {
namespace {

const char* IdentityStateName(IdentityState state) {
  switch (state) {
    case IdentityState::NotProgrammed:
      return "notProgrammed";
    case IdentityState::Present:
      return "programmed";
    default:
      return "notRead";
  }
}

const char* PhaseName(RunPhase phase) {
  switch (phase) {
    case RunPhase::Erasing:
      return "erasing";
    case RunPhase::Programming:
      return "programming";
    default:
      return "verifying";
  }
}

const char* RunOutcomeName(const RunResult& result) {
  switch (result.outcome) {
    case RunOutcome::Succeeded:
      return "succeeded";
    case RunOutcome::Aborted:
      return "aborted";
    case RunOutcome::Failed:
      return "failed";
    default:
      return "none";
  }
}

}  // namespace

Json JsonText(std::string_view cp1252) {
  return Cp1252ToUtf8(cp1252);
}

Json JsonTextOrNull(const std::optional<std::string>& cp1252) {
  return cp1252 ? JsonText(std::string_view(*cp1252)) : Json(nullptr);
}

Json JsonErrors(const std::vector<std::string>& errors) {
  Json array = Json::array();
  for (const std::string& error : errors) array.push_back(JsonText(error));
  return array;
}

Json JsonDocument(const char* command, int exitStatus, const std::vector<std::string>& errors) {
  return {{"schema", kJsonSchema},
          {"command", command},
          {"ok", exitStatus == kExitOk},
          {"exitStatus", exitStatus},
          {"error", errors.empty() ? Json(nullptr) : JsonText(errors.front())}};
}

Json JsonIdentity(const std::optional<DeviceIdentity>& identity) {
  if (!identity) {
    return {
        {"serialNumber", nullptr}, {"macA", nullptr}, {"macB", nullptr}, {"assignedAt", nullptr}};
  }
  return {{"serialNumber", identity->serialNumber},
          {"macA", MacText(identity->macA)},
          {"macB", identity->hasSecondMac ? Json(MacText(NextMac(identity->macA))) : Json(nullptr)},
          {"assignedAt", identity->assignmentTime}};
}

Json JsonDevice(const DeviceRecord& device, const std::string& usbSerialNumber) {
  const std::optional<UsbDescriptorValues>& usb = device.descriptors;
  Json entry = {
      {"path", OrNull(device.path)},
      {"usbSerialNumber", usbSerialNumber.empty() ? Json(nullptr) : Json(usbSerialNumber)},
      {"uniqueId", JsonTextOrNull(device.uniqueId)},
      {"vendorId", usb ? Json(usb->vendorId) : Json(nullptr)},
      {"productId", usb ? Json(usb->productId) : Json(nullptr)},
      {"dfuVersion", usb ? Json(usb->dfuVersion) : Json(nullptr)},
      {"deviceBcd", usb ? Json(usb->deviceBcd) : Json(nullptr)},
      {"passedChecks", device.passedChecks},
      {"flashBytes", OrNull(device.flashBytes)},
      {"identityState", IdentityStateName(device.identityState)},
  };
  entry.update(JsonIdentity(device.identity));
  entry["identityBlock"] = OrNull(device.identityBlock);
  entry["freeOtpBlocks"] = OrNull(device.freeOtpBlocks);
  return entry;
}

Json JsonRun(const RunTimes& run) {
  Json phases = Json::array();
  for (const PhaseRecord& phase : run.phases) {
    phases.push_back({{"phase", PhaseName(phase.phase)},
                      {"totalBytes", phase.totalBytes},
                      {"bytesDone", phase.bytesDone},
                      {"seconds", phase.seconds}});
  }
  const RunResult& result = run.result;
  return {{"outcome", RunOutcomeName(result)},
          {"seconds", run.seconds},
          {"phases", phases},
          {"logLine", result.logLine.empty() ? Json(nullptr) : JsonText(result.logLine)},
          {"uniqueIdMissing", result.uniqueIdMissing}};
}

void PrintJson(std::FILE* out, const Json& document) {
  // Replace, not throw: a path from the command line need not be valid UTF-8.
  const std::string text = document.dump(2, ' ', false, Json::error_handler_t::replace);
  std::fprintf(out, "%s\n", text.c_str());
  std::fflush(out);
}

}  // namespace kestrune::cli
