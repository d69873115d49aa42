// `kestrune list`: every attached DFU device, one per line, or with --json a JSON array.

#include <atomic>
#include <optional>
#include <string>

#include "cli/cli.h"
#include "cli/device_choice.h"
#include "cli/json_output.h"
#include "device/device_listing.h"
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

Json JsonDevice(const ListedDevice& device) {
  const Discovery& found = device.discovery;
  const bool programmed = found.identityState == kIdentityPresent;
  Json entry = {{"path", device.path}, {"usbSerialNumber", device.usbSerialNumber}};
  entry["flashKiB"] = found.flashSize ? Json(*found.flashSize / 1024) : Json(nullptr);
  entry["identityState"] = found.identityState;
  entry["programmed"] = programmed;
  entry["serialNumber"] = programmed ? JsonText(*IdentityText(found)) : Json(nullptr);
  entry["deviceError"] = found.deviceError;
  return entry;
}

}  // namespace

int RunList(const Invocation& invocation) {
  // A device that cannot be opened (no permission, in use) is listed without its data: the list
  // is incomplete, which a script must be told by the status as well.
  std::atomic<bool> openProblem{false};
  const std::unique_ptr<DeviceBackend> backend =
      MakeDeviceBackend(invocation.options, invocation.err, &openProblem);
  if (!backend) return kExitRefused;
  const std::vector<ListedDevice> devices =
      ListDevices(backend->Dfu(), backend->Bus(), backend->GetClock());
  Json array = Json::array();
  for (const ListedDevice& device : devices) {
    if (invocation.options.json) {
      array.push_back(JsonDevice(device));
      continue;
    }
    const std::string line = device.path + "  " + Shown(device.usbSerialNumber) + "  " +
                             Shown(device.discovery.flashSizeText) + "  " +
                             Shown(IdentityText(device.discovery));
    std::fprintf(invocation.out, "%s\n", Cp1252ToUtf8(line).c_str());
  }
  if (invocation.options.json) PrintJson(invocation.out, array);
  if (openProblem) return kExitFailed;
  if (devices.empty()) {
    std::fputs("kestrune: no DFU device is attached\n", invocation.err);
    return kExitNoDevice;
  }
  return kExitOk;
}

}  // namespace kestrune::cli
