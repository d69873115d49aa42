// `kestrune list`: every attached DFU device, one per line, or with --json one JSON document.

#include <atomic>
#include <optional>
#include <string>

#include "app/discovery_texts.h"
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

// The flash size and the identity as "Flash Size :" and "Seriennummer :" show them: the
// number, or "Nicht programmiert".
std::string DeviceTexts(const Discovery& found) {
  const DiscoveryTexts texts = DescribeDiscovery(found);
  const std::optional<std::string> serial =
      texts.identity ? std::optional(texts.identity->serialNumber) : std::nullopt;
  return Shown(texts.flashSize) + "  " + Shown(serial);
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
      array.push_back(JsonDevice(RecordOf(device.discovery), device.usbSerialNumber));
      continue;
    }
    const std::string line =
        device.path + "  " + Shown(device.usbSerialNumber) + "  " + DeviceTexts(device.discovery);
    std::fprintf(invocation.out, "%s\n", Cp1252ToUtf8(line).c_str());
  }
  const char* error = "no DFU device is attached";
  // A device that could not be opened makes the list incomplete: that outweighs an empty one.
  const int status = openProblem ? kExitFailed : devices.empty() ? kExitNoDevice : kExitOk;
  if (invocation.options.json) {
    Json document = JsonDocument(
        "list", status,
        devices.empty() ? std::vector<std::string>{error} : std::vector<std::string>{});
    document["devices"] = array;
    PrintJson(invocation.out, document);
  }
  if (devices.empty() && !openProblem) std::fprintf(invocation.err, "kestrune: %s\n", error);
  return status;
}

}  // namespace kestrune::cli
