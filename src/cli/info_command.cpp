#include "cli/info_command.h"

#include <map>
#include <string>

#include "app/control_ids.h"
#include "app/discovery_display.h"
#include "cli/cli.h"
#include "cli/device_choice.h"
#include "cli/json_output.h"
#include "device/enumerate.h"
#include "support/cp1252.h"

namespace kestrune::cli {
namespace {

struct Field {
  const char* label;  // Windows-1252, as in the window
  const char* jsonName;
  int control;
};

// In the order of the window: the device group, then the hidden identity group.
const Field kFields[] = {
    {"Geräteanzahl :", "deviceCount", kIdDeviceCount},
    {"Vendor ID :", "vendorId", kIdVendorId},
    {"Device ID :", "productId", kIdProductId},
    {"Version :", "dfuVersion", kIdDfuVersion},
    {"Device BCD :", "deviceBcd", kIdDeviceBcd},
    {"Flash Size :", "flashSize", kIdFlashSize},
    {"Unique ID :", "uniqueId", kIdUniqueId},
    {"Seriennummer :", "serialNumber", kIdSerialNumber},
    {"Vergabe am :", "assignmentDate", kIdAssignmentDate},
    {"MAC A :", "macA", kIdMacA},
    {"MAC B :", "macB", kIdMacB},
};

void PrintLine(std::FILE* out, const std::string& label, const std::string& value) {
  const std::string line = value.empty() ? label : label + " " + value;
  std::fprintf(out, "%s\n", Cp1252ToUtf8(line).c_str());
}

// The texts of the device fields after `found`, as a fresh window would show them (Windows-1252).
std::map<int, std::string> DeviceTexts(const Discovery& found) {
  // A fresh window shows no device: every field empty, count 0.
  std::map<int, std::string> texts = {{kIdDeviceCount, "0"}};
  ApplyTextEffects(DiscoveryEffects(found, {}), texts);
  return texts;
}

}  // namespace

int PrintDeviceInfo(DeviceBackend& backend, DeviceBus& bus, std::FILE* out, bool json) {
  const Discovery found = Enumerate(backend.Dfu(), bus, backend.GetClock());
  std::map<int, std::string> texts = DeviceTexts(found);
  const bool usable = found.deviceCount == 1 && found.deviceError == 0 && found.memoryMap;
  const int status = usable ? kExitOk : found.deviceCount == 0 ? kExitNoDevice : kExitFailed;
  if (json) {
    Json document = {{"ok", usable}, {"path", found.devicePath}};
    for (const Field& field : kFields) document[field.jsonName] = JsonText(texts[field.control]);
    document["deviceCount"] = found.deviceCount;
    document["deviceError"] = found.deviceError;
    document["identityState"] = found.identityState;
    PrintJson(out, document);
    return status;
  }
  for (const Field& field : kFields) PrintLine(out, field.label, texts[field.control]);
  PrintLine(
      out, "Gerätefehler :",
      std::to_string(found.deviceError) + "  Identität : " + std::to_string(found.identityState));
  return status;
}

int RunInfo(const Invocation& invocation) {
  const std::unique_ptr<DeviceBackend> backend =
      MakeDeviceBackend(invocation.options, invocation.err);
  if (!backend) return kExitRefused;
  const DeviceChoice choice = ChooseDevice(*backend, invocation.options.device);
  if (!choice.device) {
    if (invocation.options.json)
      PrintJson(invocation.out, {{"ok", false}, {"error", choice.error}});
    std::fprintf(invocation.err, "kestrune: %s\n", choice.error.c_str());
    return kExitNoDevice;
  }
  return PrintDeviceInfo(*backend, choice.device->Bus(), invocation.out, invocation.options.json);
}

}  // namespace kestrune::cli
