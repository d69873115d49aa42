// `kestrune ledger`: what the identity ledger holds, a device found in it by unique ID, serial
// number or MAC address, and how much of each range of a range file is used.

#include <ctime>

#include "cli/cli.h"
#include "cli/json_output.h"
#include "ledger/ledger_lines.h"
#include "ledger/ledger_report.h"
#include "ledger/open_ledger.h"
#include "ledger/run_queue.h"
#include "ledger/station_choice.h"
#include "serials/range_files.h"
#include "support/cp1252.h"
#include "support/format_time.h"

namespace kestrune::cli {
namespace {

std::string TimeText(std::int64_t seconds) {
  std::tm fields{};
  char text[32] = "?";
  if (LocalCalendar(seconds, fields))
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &fields);
  return text;
}

void Print(std::FILE* out, const std::string& cp1252) {
  std::fputs(Cp1252ToUtf8(cp1252).c_str(), out);
}

std::string EntryLine(const LedgerEntry& entry) {
  const LedgerIdentity& id = entry.identity;
  char serial[16];
  std::snprintf(serial, sizeof serial, "%-8d", id.serial);
  std::string state = StateName(entry.state);
  state.resize(9, ' ');
  return std::string(serial) + "  " + FormatMac(id.macA) + "  " + FormatMac(id.macB) + "  " +
         state + "  " + TimeText(entry.time) + "  " + entry.station + "  " + id.uniqueId + "\n";
}

std::string RunText(const RunRecord& run) {
  return TimeText(run.time) + "  " + run.station + "  " + run.uniqueId + "  " + run.firmwareFile +
         "  " + run.deviceType + "  " + run.version + "  " + run.firmwareDate + "\n";
}

Json JsonEntry(const LedgerEntry& entry) {
  const LedgerIdentity& id = entry.identity;
  return {{"serialNumber", id.serial},
          {"macA", FormatMac(id.macA)},
          {"macB", FormatMac(id.macB)},
          {"uniqueId", JsonText(id.uniqueId)},
          {"state", StateName(entry.state)},
          {"station", JsonText(entry.station)},
          {"time", entry.time}};
}

Json JsonRun(const RunRecord& run) {
  return {{"recordId", JsonText(run.recordId)},     {"time", run.time},
          {"station", JsonText(run.station)},       {"uniqueId", JsonText(run.uniqueId)},
          {"firmware", JsonText(run.firmwareFile)}, {"deviceType", JsonText(run.deviceType)},
          {"version", JsonText(run.version)},       {"firmwareDate", JsonText(run.firmwareDate)}};
}

Json JsonEntries(const std::vector<LedgerEntry>& entries) {
  Json array = Json::array();
  for (const LedgerEntry& entry : entries) array.push_back(JsonEntry(entry));
  return array;
}

Json JsonRuns(const std::vector<RunRecord>& runs) {
  Json array = Json::array();
  for (const RunRecord& run : runs) array.push_back(JsonRun(run));
  return array;
}

Json JsonContents(const std::vector<LedgerEntry>& entries, const std::vector<RunRecord>& runs,
                  int status = kExitOk, const std::vector<std::string>& errors = {}) {
  Json document = JsonDocument("ledger", status, errors);
  document["identities"] = JsonEntries(entries);
  document["runs"] = JsonRuns(runs);
  return document;
}

void PrintContents(std::FILE* out, const std::vector<LedgerEntry>& entries,
                   const std::vector<RunRecord>& runs) {
  Print(out,
        "serial    MAC A              MAC B              state      time                 "
        "station  unique ID\n");
  for (const LedgerEntry& entry : entries) Print(out, EntryLine(entry));
  Print(out, "\nverified runs: " + std::to_string(runs.size()) + "\n");
  for (const RunRecord& run : runs) Print(out, RunText(run));
}

int Find(const Invocation& invocation, const LedgerContents& contents, const std::string& key) {
  const std::vector<LedgerEntry> entries = FindEntries(contents, key);
  std::vector<RunRecord> runs;
  for (const RunRecord& run : contents.runs) {
    for (const LedgerEntry& entry : entries) {
      if (run.uniqueId == entry.identity.uniqueId) {
        runs.push_back(run);
        break;
      }
    }
  }
  const std::string error = "nothing in the ledger matches '" + key + "'";
  const int status = entries.empty() ? kExitFailed : kExitOk;
  if (invocation.options.json) {
    PrintJson(invocation.out, JsonContents(entries, runs, status,
                                           entries.empty() ? std::vector<std::string>{error}
                                                           : std::vector<std::string>{}));
  } else if (!entries.empty()) {
    PrintContents(invocation.out, entries, runs);
  }
  if (entries.empty()) Print(invocation.err, "kestrune: " + error + "\n");
  return status;
}

int Check(const Invocation& invocation, const LedgerContents& contents, std::string rangeFile) {
  if (rangeFile.empty()) rangeFile = invocation.options.InfosFolder() + "/MacList.cfg";
  RecordArray ranges;
  const MacRangeLoad load = LoadMacRanges(rangeFile, ranges);
  for (const OperatorMessage& warning : load.warnings) {
    Print(invocation.err, warning.caption + ": " + warning.text + "\n");
  }
  if (ranges.Count() == 0) {
    Print(invocation.err, "kestrune: " + rangeFile + " holds no range\n");
    return kExitRefused;
  }
  Json array = Json::array();
  for (const RangeUsage& usage : CheckRanges(ranges, contents)) {
    const MacRange& r = usage.range;
    if (invocation.options.json) {
      array.push_back({{"line", r.line},
                       {"firstMac", FormatMac(r.firstMac)},
                       {"count", r.count},
                       {"firstSerialNumber", r.firstSerial},
                       {"written", usage.written},
                       {"failed", usage.failed},
                       {"unconfirmed", JsonEntries(usage.unconfirmed)},
                       {"free", usage.free}});
      continue;
    }
    Print(invocation.out,
          "RANGE " + FormatMac(r.firstMac) + " " + std::to_string(r.count) + " " +
              std::to_string(r.firstSerial) + " (line " + std::to_string(r.line) +
              "): " + std::to_string(usage.written) + " written, " + std::to_string(usage.failed) +
              " failed, " + std::to_string(usage.unconfirmed.size()) +
              " reserved but never confirmed, " + std::to_string(usage.free) + " free\n");
    for (const LedgerEntry& entry : usage.unconfirmed)
      Print(invocation.out, "  " + EntryLine(entry));
  }
  if (invocation.options.json) {
    Json document = JsonDocument("ledger", kExitOk);
    document["ranges"] = array;
    PrintJson(invocation.out, document);
  }
  return kExitOk;
}

}  // namespace

int RunLedger(const Invocation& invocation) {
  const LedgerChoice choice =
      ChooseLedger(invocation.options.InfosFolder(), invocation.Value("--ledger"));
  for (const OperatorMessage& warning : choice.warnings) {
    Print(invocation.err, warning.caption + ": " + warning.text + "\n");
  }
  if (!choice.where || !choice.usable) {
    Print(invocation.err, choice.where ? "kestrune: Ledger.cfg does not say clearly where the "
                                         "ledger is\n"
                                       : "kestrune: no ledger: give --ledger, KESTRUNE_LEDGER or "
                                         "Infos/Ledger.cfg\n");
    return kExitRefused;
  }
  std::string error;
  const std::unique_ptr<Ledger> ledger = OpenLedger(*choice.where, error);
  if (!ledger) {
    Print(invocation.err, "kestrune: " + error + "\n");
    return kExitRefused;
  }
  // Each contact sends what this station's queue holds.
  SendQueuedRuns(*ledger, choice.queuePath);
  LedgerContents contents;
  if (ledger->Read(contents) != LedgerStatus::Ok) {
    Print(invocation.err, "kestrune: the ledger " + *choice.where +
                              " cannot be reached: " + ledger->LastError() + "\n");
    return kExitFailed;
  }
  if (invocation.Has("--find"))
    return Find(invocation, contents, invocation.commandOptions.at("--find"));
  if (invocation.Has("--check"))
    return Check(invocation, contents, invocation.commandOptions.at("--check"));
  if (invocation.options.json) {
    PrintJson(invocation.out, JsonContents(contents.identities, contents.runs));
  } else {
    PrintContents(invocation.out, contents.identities, contents.runs);
  }
  return kExitOk;
}

}  // namespace kestrune::cli
