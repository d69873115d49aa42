// `kestrune list`: every attached DFU device, one per line, or with --json one JSON document.

#include <optional>
#include <string>

#include "cli/cli.h"
#include "cli/device_choice.h"
#include "cli/json_output.h"
#include "device/device_listing.h"
#include "device/device_record.h"
#include "support/cp1252.h"

namespace kestrune::cli {
namespace {

// Fields stand apart by two blanks; an empty one shows as "---" so that every line has four.
std::string Shown(const std::optional<std::string>& text) {
  return text && !text->empty() ? *text : "---";
}

// The identity as "Seriennummer :" shows it: the number, or "Nicht programmiert".
std::optional<std::string> IdentityText(const Discovery& found) {
  if (!found.identity) return std::nullopt;
  return found.identity->serialNumber;
}

}  // namespace

int RunList(const Invocation& invocation) {
  const std::unique_ptr<DeviceBackend> backend =
      MakeDeviceBackend(invocation.options, invocation.err);
  if (!backend) return kExitRefused;
  const std::vector<ListedDevice> devices =
      ListDevices(backend->Dfu(), backend->Bus(), backend->GetClock());
  Json array = Json::array();
  for (const ListedDevice& device : devices) {
    if (invocation.options.json) {
      array.push_back(JsonDevice(RecordOf(device.discovery), device.usbSerialNumber));
      continue;
    }
    const std::string line = device.path + "  " + Shown(device.usbSerialNumber) + "  " +
                             Shown(device.discovery.flashSizeText) + "  " +
                             Shown(IdentityText(device.discovery));
    std::fprintf(invocation.out, "%s\n", Cp1252ToUtf8(line).c_str());
  }
  const char* error = "no DFU device is attached";
  const int status = devices.empty() ? kExitNoDevice : kExitOk;
  if (invocation.options.json) {
    Json document = JsonDocument(
        "list", status,
        devices.empty() ? std::vector<std::string>{error} : std::vector<std::string>{});
    document["devices"] = array;
    PrintJson(invocation.out, document);
  }
  if (devices.empty()) std::fprintf(invocation.err, "kestrune: %s\n", error);
  return status;
}

}  // namespace kestrune::cli
