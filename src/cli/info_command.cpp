#include "cli/info_command.h"

#include <map>
#include <string>

#include "app/control_ids.h"
#include "app/discovery_display.h"
#include "device/enumerate.h"
#include "support/cp1252.h"

namespace kestrune::cli {
namespace {

struct Field {
  const char* label;  // Windows-1252, as in the window
  int control;
};

// In the order of the window: the device group, then the hidden identity group.
const Field kFields[] = {
    {"Geräteanzahl :", kIdDeviceCount},
    {"Vendor ID :", kIdVendorId},
    {"Device ID :", kIdProductId},
    {"Version :", kIdDfuVersion},
    {"Device BCD :", kIdDeviceBcd},
    {"Flash Size :", kIdFlashSize},
    {"Unique ID :", kIdUniqueId},
    {"Seriennummer :", kIdSerialNumber},
    {"Vergabe am :", kIdAssignmentDate},
    {"MAC A :", kIdMacA},
    {"MAC B :", kIdMacB},
};

void PrintLine(std::FILE* out, const std::string& label, const std::string& value) {
  const std::string line = value.empty() ? label : label + " " + value;
  std::fprintf(out, "%s\n", Cp1252ToUtf8(line).c_str());
}

}  // namespace

int PrintDeviceInfo(DeviceBackend& backend, std::FILE* out) {
  // A fresh window shows no device: every field empty, count 0.
  const Discovery found = Enumerate(backend.Dfu(), backend.Bus(), backend.GetClock());
  std::map<int, std::string> texts = {{kIdDeviceCount, "0"}};
  ApplyTextEffects(DiscoveryEffects(found, {}), texts);
  for (const Field& field : kFields) PrintLine(out, field.label, texts[field.control]);
  PrintLine(
      out, "Gerätefehler :",
      std::to_string(found.deviceError) + "  Identität : " + std::to_string(found.identityState));
  const bool usable = found.deviceCount == 1 && found.deviceError == 0 && found.memoryMap;
  return usable ? kExitOk : kExitFailed;
}

int RunInfo(const Invocation& invocation) {
  if (!invocation.args.empty()) {
    std::fputs("usage: kestrune [--simulate[=FILE]] info\n", invocation.err);
    return kExitUsage;
  }
  const std::unique_ptr<DeviceBackend> backend =
      MakeDeviceBackend(invocation.options, invocation.err);
  if (!backend) return kExitFailed;
  return PrintDeviceInfo(*backend, invocation.out);
}

}  // namespace kestrune::cli
