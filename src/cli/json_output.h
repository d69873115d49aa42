#pragma once
// --json: the result of a command as one JSON document on stdout, texts in UTF-8. Documents are
// made from the typed records of the core, never from what a window would show: numbers are
// numbers, a value nobody learnt is null, and a field has one type in every command.
// docs/json.md describes every document and field.

#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/device_record.h"
#include "job/run_timeline.h"

namespace kestrune::cli {

using Json = nlohmann::ordered_json;

// Raised when a document changes in a way its readers must know of.
inline constexpr int kJsonSchema = 1;

// A value, or null where nobody learnt it.
template <typename T>
Json OrNull(const std::optional<T>& value) {
  return value ? Json(*value) : Json(nullptr);
}

// The program's own (Windows-1252) text as a JSON string.
Json JsonText(std::string_view cp1252);
// The same, or null for none.
Json JsonTextOrNull(const std::optional<std::string>& cp1252);

// A document's first fields: {"schema", "command", "ok", "exitStatus", "error"}; `error` is the
// first error of `errors`, or null.
Json JsonDocument(const char* command, int exitStatus, const std::vector<std::string>& errors = {});
Json JsonErrors(const std::vector<std::string>& errors);

// A device as discovery found it; `usbSerialNumber` empty when it has none or it was not read.
Json JsonDevice(const DeviceRecord& device, const std::string& usbSerialNumber);

// A programming run: its outcome, phases with their durations and the download-log line.
Json JsonRun(const RunTimes& run);

// An identity's fields ("serialNumber", "macA", "macB", "assignedAt"), all null for none.
Json JsonIdentity(const std::optional<DeviceIdentity>& identity);

void PrintJson(std::FILE* out, const Json& document);

}  // namespace kestrune::cli
