#include "cli/info_command.h"

#include <string>
#include <vector>

#include "app/discovery_texts.h"
#include "cli/cli.h"
#include "cli/device_choice.h"
#include "cli/json_output.h"
#include "device/device_listing.h"
#include "device/device_record.h"
#include "device/enumerate.h"
#include "support/cp1252.h"

namespace kestrune::cli {
namespace {

void PrintLine(std::FILE* out, const std::string& label, const std::string& value) {
  const std::string line = value.empty() ? label : label + " " + value;
  std::fprintf(out, "%s\n", Cp1252ToUtf8(line).c_str());
}

struct Field {
  const char* label;  // Windows-1252, as in the window
  const char* jsonName;
  std::string value;
};

// The device's fields in the order of the window, the device group, then the hidden identity
// group: what a window that showed no device before shows after this discovery.
std::vector<Field> DeviceFields(const Discovery& found) {
  const DiscoveryTexts texts = DescribeDiscovery(found);
  const DescriptorTexts descriptors = texts.descriptors.value_or(DescriptorTexts{});
  // A device that failed a check shows neither flash size nor unique ID.
  const bool failed = found.deviceError;
  const IdentityDisplay identity =
      failed ? IdentityDisplay{} : texts.identity.value_or(IdentityDisplay{});
  return {
      {"Geräteanzahl :", "deviceCount", std::to_string(found.deviceCount)},
      {"Vendor ID :", "vendorId", descriptors.vendorId},
      {"Device ID :", "productId", descriptors.productId},
      {"Version :", "dfuVersion", descriptors.dfuVersion},
      {"Device BCD :", "deviceBcd", descriptors.deviceBcd},
      {"Flash Size :", "flashSize", failed ? "" : texts.flashSize.value_or("")},
      {"Unique ID :", "uniqueId", identity.uniqueId},
      {"Seriennummer :", "serialNumber", identity.serialNumber},
      {"Vergabe am :", "assignmentDate", identity.assignmentDate},
      {"MAC A :", "macA", identity.macA},
      {"MAC B :", "macB", identity.macB},
  };
}

// Why `info` ends with a status other than 0.
std::string InfoError(const Discovery& found) {
  if (found.deviceCount == 0) return "no DFU device is attached";
  if (found.deviceCount > 1) return std::to_string(found.deviceCount) + " devices are attached";
  if (found.devicePath.empty()) return "the device could not be opened";
  return "the device is not a DfuSe boot loader with a usable memory map";
}

}  // namespace

int PrintDeviceInfo(DeviceBackend& backend, DeviceBus& bus, std::FILE* out, std::FILE* err,
                    bool json) {
  const Discovery found = Enumerate(backend.Dfu(), bus, backend.GetClock());
  const std::vector<Field> fields = DeviceFields(found);
  const bool usable = found.deviceCount == 1 && !found.deviceError && found.memoryMap;
  const int status = usable ? kExitOk : found.deviceCount != 1 ? kExitNoDevice : kExitFailed;
  if (found.deviceCount == 0) std::fputs("kestrune: no DFU device is attached\n", err);
  if (found.deviceCount > 1) {
    std::fprintf(err,
                 "kestrune: %d DFU devices are attached; choose one with --device (see "
                 "'kestrune list')\n",
                 found.deviceCount);
  }
  if (json) {
    std::vector<std::string> errors;
    if (status != kExitOk) errors.push_back(InfoError(found));
    Json document = JsonDocument("info", status, errors);
    document["deviceCount"] = found.deviceCount;
    document["device"] = found.devicePath.empty()
                             ? Json(nullptr)
                             : JsonDevice(RecordOf(found), UsbSerialNumberOf(backend.Dfu(), found));
    PrintJson(out, document);
    return status;
  }
  if (found.deviceCount == 0) return status;
  for (const Field& field : fields) PrintLine(out, field.label, field.value);
  PrintLine(out, "Gerätefehler :",
            std::string(found.deviceError ? "1" : "0") +
                "  Identität : " + std::to_string(static_cast<int>(found.identityState)));
  return status;
}

int RunInfo(const Invocation& invocation) {
  const std::unique_ptr<DeviceBackend> backend =
      MakeDeviceBackend(invocation.options, invocation.err);
  if (!backend) return kExitRefused;
  const DeviceChoice choice = ChooseDevice(*backend, invocation.options.device);
  if (!choice.device) {
    if (invocation.options.json) {
      Json document = JsonDocument("info", kExitNoDevice, {choice.error});
      document["deviceCount"] = 0;
      document["device"] = nullptr;
      PrintJson(invocation.out, document);
    }
    std::fprintf(invocation.err, "kestrune: %s\n", choice.error.c_str());
    return kExitNoDevice;
  }
  return PrintDeviceInfo(*backend, choice.device->Bus(), invocation.out, invocation.err,
                         invocation.options.json);
}

}  // namespace kestrune::cli
